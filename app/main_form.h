#pragma once
// The main window.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/settings_file.h"
#include "app/settings_logic.h"
#include "capture/hot_key.h"
#include "capture/screen_capture.h"
#include "common/handles.h"
#include "framework/controls.h"
#include "framework/form.h"
#include "picker/path_dialog.h"
#include "widgets/link_label.h"

namespace snapvik {

class TForm1 final : public TForm, private settings::SettingsTarget {
 public:
  // Creates the window with all its controls, then runs FormCreate.
  TForm1();

 private:
  // First, so that it outlives the controls that draw with it.
  UniqueFont font_;

 public:
  TLabel Label1, Label2;
  TEdit Edit1, Edit2;
  TCheckBox cbShift, cbAlt, cbCtrl;
  TButton Button1, Button2;
  TPanel Panel1;
  TsWebLabel sWebLabel1;
  TsPathDialog sPathDialog1;

 protected:
  void DoClose() override;
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  // The member a design of the main window's table names.
  TControl& ControlNamed(std::string_view name);
  void FormCreate();
  void FormClose();
  void Button1Click();
  void Button2Click();
  void WMHotKey();

  void SetDirectory(const std::wstring& text) override;
  void CheckShift() override;
  void CheckAlt() override;
  void CheckCtrl() override;
  void SetKey(const std::wstring& text) override;

  settings::Settings Current() const;

  HotKeyRegistration hotKey_;
  // Under Wine, the combination grabbed on the X display as well.
  TKeyGrab keyGrab_;
  TKeptImage shot_;
  // The combination armed now, for arming it again when a close is abandoned.
  struct ArmedCombination {
    std::wstring keyField;
    ModifierBoxes boxes;
  };
  std::optional<ArmedCombination> armed_;
  // What the window showed once start-up was done, and what it made of opt.dat.
  settings::Settings shownAtStart_;
  SettingsRead settingsRead_ = SettingsRead::Unread;
};

}  // namespace snapvik
