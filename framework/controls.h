#pragma once
// Thin wrappers over the platform's standard controls, and a base for the
// program's own painted controls.
#include <windows.h>

#include <functional>
#include <string>

#include "framework/layout.h"
#include "framework/window.h"

namespace snapvik {

// The size of one line of `text` in `font`, measured on the screen.
SIZE TextExtent(HFONT font, const wchar_t* text);

class TControl : public TWindow {
 public:
  const char* Name() const { return name_; }

  // Makes the window at `bounds` (already scaled) with the design's text.
  virtual void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) = 0;

  std::wstring Text() const;
  void SetText(const std::wstring& text);

  bool Visible() const;
  void SetVisible(bool visible);
  bool Enabled() const;
  void SetEnabled(bool enabled);
  // In the parent's client pixels.
  LayoutRect Bounds() const;
  void SetBounds(LayoutRect bounds);

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
  // A window of the platform's standard class (subclassed: HandleMessage sees
  // its messages first), or of one of ours (which links itself on creation).
  enum class WindowClass { Standard, Own };
  void CreateHandle(const CreateArgs& args, const char* name, WindowClass kind = WindowClass::Standard);

 private:
  const char* name_ = "";
};

class TEdit : public TControl {
 public:
  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override;
};

class TButton : public TControl {
 public:
  // Set before Create: drawn as the button that Enter presses.
  bool Default = false;
  // A click first gives this to the form's modal result, when not 0.
  int ModalResult = 0;
  std::function<void()> OnClick;

  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override;
  void ReflectedCommand(WORD code) override;
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
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

// A bevelled panel: raised outer bevel of width 1, no inner bevel.
class TPanel : public TCustomControl {
 public:
  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override;

 protected:
  void Paint(HDC dc, const RECT& client) override;
};

}  // namespace snapvik
