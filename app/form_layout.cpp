#include "app/form_layout.h"

#include <array>

namespace snapvik {

namespace {

const std::array<ControlSpec, 11> kControls = {{
    {"Label1", {8, 10, 128, 13}, L"Директория сохранения:", 0},
    {"Label2", {8, 35, 70, 13}, L"Скриншот на:", 0},
    {"Edit1", {142, 8, 147, 21}, L"Edit1", 0},
    {"Edit2", {277, 35, 52, 21}, L"A", 1},
    {"cbShift", {142, 35, 43, 17}, L"Shift", 0},
    {"cbAlt", {191, 35, 33, 17}, L"Alt", 0},
    {"cbCtrl", {230, 35, 41, 17}, L"Ctrl", 0},
    {"Button2", {142, 58, 187, 25}, L"Симулировать", 0},
    {"Panel1", {8, 95, 321, 1}, L"", 0},
    {"Button1", {295, 8, 35, 25}, L"...", 0},
    {"sWebLabel1", {123, 102, 92, 13}, L"https://example.com", 0},
}};

}  // namespace

std::span<const ControlSpec> Form1Controls() { return kControls; }

}  // namespace snapvik
