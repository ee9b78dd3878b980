#include "app/form_layout.h"

#include <array>
#include <cstdint>

namespace snapvik {

namespace {

const std::array<ControlSpec, 11> kControls = {{
    {"Label1", ControlKind::Label, {8, 10, 128, 13}, L"Директория сохранения:", 0},
    {"Label2", ControlKind::Label, {8, 35, 70, 13}, L"Скриншот на:", 0},
    {"Edit1", ControlKind::Edit, {142, 8, 147, 21}, L"Edit1", 0},
    {"Edit2", ControlKind::Edit, {277, 35, 52, 21}, L"A", 1},
    {"cbShift", ControlKind::CheckBox, {142, 35, 43, 17}, L"Shift", 0},
    {"cbAlt", ControlKind::CheckBox, {191, 35, 33, 17}, L"Alt", 0},
    {"cbCtrl", ControlKind::CheckBox, {230, 35, 41, 17}, L"Ctrl", 0},
    {"Button2", ControlKind::Button, {142, 58, 187, 25}, L"Симулировать", 0},
    {"Panel1", ControlKind::Panel, {8, 95, 321, 1}, L"", 0},
    {"Button1", ControlKind::Button, {295, 8, 35, 25}, L"...", 0},
    {"sWebLabel1", ControlKind::LinkLabel, {123, 102, 92, 13}, L"https://example.com", 0},
}};

}  // namespace

std::span<const ControlSpec> Form1Controls() { return kControls; }

int MulDivRound(int a, int b, int c) {
  const int64_t p = static_cast<int64_t>(a) * b;
  const int64_t magnitudeP = p < 0 ? -p : p;
  const int64_t magnitudeC = c < 0 ? -static_cast<int64_t>(c) : c;
  const int64_t q = (magnitudeP + magnitudeC / 2) / magnitudeC;
  return static_cast<int>((p < 0) != (c < 0) ? -q : q);
}

int ScaledFontHeight(int designHeight, int pixelsPerInch) {
  return MulDivRound(designHeight, pixelsPerInch, kDesignPixelsPerInch);
}

LayoutRect ScaledRect(LayoutRect r, int measuredTextHeight) {
  if (measuredTextHeight == kDesignTextHeight) return r;
  auto s = [&](int v) { return MulDivRound(v, measuredTextHeight, kDesignTextHeight); };
  return {s(r.left), s(r.top), s(r.width), s(r.height)};
}

LayoutPoint CenteredOrigin(LayoutRect desktop, int windowWidth, int windowHeight) {
  int x = desktop.width / 2 + desktop.left - windowWidth / 2;
  int y = desktop.height / 2 + desktop.top - windowHeight / 2;
  if (x < desktop.left) x = desktop.left;
  if (y < desktop.top) y = desktop.top;
  return {x, y};
}

}  // namespace snapvik
