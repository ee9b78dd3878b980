#include "app/Unit1.h"

#include <array>
#include <cstring>

#include "app/form_layout.h"
#include "app/settings_file.h"
#include "common/errors.h"
#include "framework/application.h"

namespace snapvik {

int32_t HotKeyId = -1;
int32_t ScreenCounter = 0;

namespace {

constexpr int kFirstControlId = 100;  // clear of IDOK and IDCANCEL

HFONT CreateFormFont() {
  int pixelsPerInch = kDesignPixelsPerInch;
  if (WindowDc screen(nullptr); screen) pixelsPerInch = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
  return ::CreateFontW(ScaledFontHeight(kDesignFontHeight, pixelsPerInch), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
}

}  // namespace

TForm1::TForm1() : font_(CreateFormFont()) {
  const int textHeight = TextExtent(font_.get(), L"0").cy;
  const LayoutRect client = ScaledRect({0, 0, kForm1ClientWidth, kForm1ClientHeight}, textHeight);
  CreateForm({L"TForm1", L"Snapvik", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
              WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, client.width, client.height, nullptr});
  ::SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);

  const std::array<TControl*, 11> controls = {&Label1,  &Label2, &Edit1,  &Edit2,   &cbShift,   &cbAlt,
                                              &cbCtrl,  &Button2, &Panel1, &Button1, &sWebLabel1};
  const auto designs = Form1Controls();
  for (size_t i = 0; i < controls.size(); ++i)
    controls[i]->Create(Handle(), designs[i], ScaledRect(designs[i].bounds, textHeight),
                        kFirstControlId + static_cast<int>(i), font_.get());

  try {
    FormCreate();
  } catch (...) {
    Application().HandleException();
  }
}

void TForm1::FormCreate() {
  HotKeyId = -1;
  ScreenCounter = 0;
  LoadSettings(*this);
}

void TForm1::DoClose() { FormClose(); }

void TForm1::FormClose() {
  settings::Settings values;
  values.directory = Edit1.Text();
  values.shift = cbShift.Checked();
  values.alt = cbAlt.Checked();
  values.ctrl = cbCtrl.Checked();
  values.key = Edit2.Text();
  SaveSettings(values);
}

void TForm1::SetDirectory(const std::wstring& text) { Edit1.SetText(text); }
void TForm1::CheckShift() { cbShift.SetChecked(true); }
void TForm1::CheckAlt() { cbAlt.SetChecked(true); }
void TForm1::CheckCtrl() { cbCtrl.SetChecked(true); }
void TForm1::SetKey(const std::wstring& text) { Edit2.SetText(text); }

}  // namespace snapvik
