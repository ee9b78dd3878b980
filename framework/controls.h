#pragma once
// Thin wrappers over the platform's standard controls, and a base for the
// program's own painted controls. Each control reflects its notifications.
#include <windows.h>

#include <functional>
#include <string>

#include "app/form_layout.h"

namespace snapvik {

// The window procedure of the program's own classes (framework/object_window.h).
template <typename T, typename Stored>
LRESULT CALLBACK ObjectWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The size of one line of `text` in `font`, measured on the screen.
SIZE TextExtent(HFONT font, const wchar_t* text);

class TControl {
 public:
  virtual ~TControl() = default;
  HWND Handle() const { return handle_; }
  const char* Name() const { return name_; }

  // Makes the window at `bounds` (already scaled) with the design's text.
  virtual void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) = 0;

  // Called by the parent form for WM_COMMAND from this control.
  virtual void Notify(WORD /*code*/) {}

  static TControl* FromHandle(HWND hwnd);

  std::wstring Text() const;
  void SetText(const std::wstring& text);

 protected:
  struct CreateArgs {
    HWND parent = nullptr;
    const wchar_t* className = nullptr;
    const wchar_t* text = L"";
    DWORD style = 0;
    DWORD exStyle = 0;
    LayoutRect bounds{};
    int id = 0;
    HFONT font = nullptr;
  };
  void CreateHandle(const CreateArgs& args, const char* name);

  template <typename T, typename Stored>
  friend LRESULT CALLBACK ObjectWindowProc(HWND, UINT, WPARAM, LPARAM);

  HWND handle_ = nullptr;
  const char* name_ = "";
};

class TEdit : public TControl {
 public:
  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override;
};

class TButton : public TControl {
 public:
  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override;
  void Notify(WORD code) override;
  std::function<void()> OnClick;
};

class TCheckBox : public TControl {
 public:
  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override;
  bool Checked() const;
  void SetChecked(bool checked);
};

// A static text whose size follows its text.
class TLabel : public TControl {
 public:
  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override;
};

// A control of the program's own window class, painted by Paint.
class TCustomControl : public TControl {
 protected:
  void CreateCustom(HWND parent, const wchar_t* className, const ControlSpec& design, LayoutRect bounds, int id,
                    HFONT font);
  virtual void Paint(HDC dc, const RECT& client) = 0;
  virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  template <typename T, typename Stored>
  friend LRESULT CALLBACK ObjectWindowProc(HWND, UINT, WPARAM, LPARAM);
};

// A bevelled panel: raised outer bevel of width 1, no inner bevel.
class TPanel : public TCustomControl {
 public:
  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override;

 protected:
  void Paint(HDC dc, const RECT& client) override;
};

}  // namespace snapvik
