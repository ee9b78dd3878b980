#include "app/main_form.h"

#include <exception>
#include <string_view>
#include <utility>

#include "app/form_layout.h"
#include "app/settings_file.h"
#include "capture/hot_key.h"
#include "capture/screen_capture.h"
#include "capture/screenshot_names.h"
#include "common/errors.h"
#include "common/win_error.h"
#include "framework/application.h"

namespace snapvik {

namespace {

constexpr int kFirstControlId = 100;  // clear of IDOK and IDCANCEL

// Tahoma 8 pt at the display's density.
FontDescription FormFont(TColor color = kNoColor) {
  int pixelsPerInch = kDesignPixelsPerInch;
  if (WindowDc screen(nullptr); screen) pixelsPerInch = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
  FontDescription font;
  font.Height = ScaledFontHeight(kForm1FontHeight, pixelsPerInch);
  font.Color = color;
  return font;
}

}  // namespace

TForm1::TForm1() : font_(MakeFont(FormFont())) {
  const int textHeight = TextExtent(font_.get(), L"0").cy;
  const LayoutRect client = ScaledRect({0, 0, kForm1ClientWidth, kForm1ClientHeight}, textHeight);
  CreateForm({L"TForm1", L"Snapvik", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
              WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, client.width, client.height, nullptr});
  ::SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);

  // In the designs' order, which is the tab order.
  int id = kFirstControlId;
  for (const ControlSpec& design : Form1Controls())
    ControlNamed(design.name).Create(Handle(), design, ScaledRect(design.bounds, textHeight), id++, font_.get());

  Button1.OnClick = [this] { Button1Click(); };
  Button2.OnClick = [this] { Button2Click(); };

  sWebLabel1.URL = sWebLabel1.Text();
  sWebLabel1.UseSkinColor = false;
  sWebLabel1.SetFont(FormFont(clHotLight));
  sWebLabel1.SetHoverFont(FormFont(clMenuHighlight));
  sWebLabel1.Loaded();

  sPathDialog1.Root = L"rfDesktop";
  sPathDialog1.Caption = L"Выберите директорию";
  // The current directory would pin the chosen folder (no rename, no delete)
  // and move where a relative directory field writes.
  sPathDialog1.NoChangeDir = true;

  try {
    FormCreate();
  } catch (...) {
    Application().HandleException();
  }
  shownAtStart_ = Current();
}

TControl& TForm1::ControlNamed(std::string_view name) {
  const std::pair<std::string_view, TControl*> controls[] = {
      {"Label1", &Label1}, {"Label2", &Label2},   {"Edit1", &Edit1},   {"Edit2", &Edit2},
      {"cbShift", &cbShift}, {"cbAlt", &cbAlt},   {"cbCtrl", &cbCtrl}, {"Button1", &Button1},
      {"Button2", &Button2}, {"Panel1", &Panel1}, {"sWebLabel1", &sWebLabel1}};
  for (const auto& [controlName, control] : controls)
    if (controlName == name) return *control;
  throw EInvalidOperation(L"The main window has no control of a design's name");
}

void TForm1::FormCreate() {
  HotKeyId = -1;
  ScreenCounter = 0;
  LoadSettings(*this, settingsRead_);
}

void TForm1::DoClose() { FormClose(); }

LRESULT TForm1::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_HOTKEY) {
    WMHotKey();
    return 0;
  }
  if (msg == kWmKeyGrab) {
    keyGrab_.Serve(wParam, lParam);
    return 0;
  }
  if (msg == kWmKeyGrabPress) {
    if (keyGrab_.TakePress()) WMHotKey();
    return 0;
  }
  return TForm::HandleMessage(msg, wParam, lParam);
}

void TForm1::Button1Click() {
  if (sPathDialog1.Execute()) Edit1.SetText(sPathDialog1.Path);
}

void TForm1::Button2Click() {
  armed_.reset();
  ArmedCombination combination{Edit2.Text(), {cbAlt.Checked(), cbCtrl.Checked(), cbShift.Checked()}};
  ArmHotKey(hotKey_, Handle(), combination.keyField, combination.boxes, &keyGrab_);
  armed_ = std::move(combination);
  // Armed all the same: Wine's own registration serves alone.
  if (const std::wstring notice = keyGrab_.Notice(); !notice.empty()) throw EOSError(notice);
}

// Every hot-key message, whatever its identifier, takes one screenshot.
void TForm1::WMHotKey() {
  const PrimaryScreen primary;
  TBitmap& image = shot_.For(primary);
  const WindowDc screen = CopyScreen(image, primary);
  const std::wstring typed = Edit1.Text();
  if (typed.empty()) throw EInvalidOperation(L"The save directory is empty");
  const std::wstring directory = WithTrailingBackslash(typed);
  if (directory != typed) Edit1.SetText(directory);
  ScreenCounter = SaveScreenshot(image, directory, ScreenCounter) + 1;
}

void TForm1::FormClose() {
  ReleaseHotKey(hotKey_, &keyGrab_);
  const settings::Settings values = Current();
  if (!settings::ShouldWrite(settingsRead_ == SettingsRead::Unread, shownAtStart_, values)) return;
  try {
    SaveSettings(values);
  } catch (...) {
    // Where the next start would show what the window shows now, nothing is
    // lost: the close goes on, also where opt.dat cannot be written.
    if (SettingsFileWouldShow(values, settingsRead_ == SettingsRead::Missing ? &shownAtStart_ : nullptr)) return;
    // The close is abandoned and the window stays: so does its hot key.
    if (!armed_) throw;
    const std::exception_ptr notSaved = std::current_exception();
    try {
      ArmHotKey(hotKey_, Handle(), armed_->keyField, armed_->boxes, &keyGrab_);
    } catch (...) {
      armed_.reset();
      // Both are told: first why the window stays, then that the key is off.
      try {
        std::rethrow_exception(notSaved);
      } catch (...) {
        Application().HandleException();
      }
      throw;
    }
    throw;
  }
}

settings::Settings TForm1::Current() const {
  return {Edit1.Text(), cbShift.Checked(), cbAlt.Checked(), cbCtrl.Checked(), Edit2.Text()};
}

void TForm1::SetDirectory(const std::wstring& text) { Edit1.SetText(text); }
void TForm1::CheckShift() { cbShift.SetChecked(true); }
void TForm1::CheckAlt() { cbAlt.SetChecked(true); }
void TForm1::CheckCtrl() { cbCtrl.SetChecked(true); }
void TForm1::SetKey(const std::wstring& text) { Edit2.SetText(text); }

}  // namespace snapvik
