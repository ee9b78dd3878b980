#include "app/form_layout.h"

#include <array>

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

}  // namespace snapvik
