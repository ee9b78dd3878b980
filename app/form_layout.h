#pragma once
// The main window's design: its size, font and controls as data.
#include <span>

#include "framework/layout.h"

namespace snapvik {

inline constexpr int kForm1FontHeight = -11;  // Tahoma 8 pt
inline constexpr int kForm1ClientWidth = 337;
inline constexpr int kForm1ClientHeight = 122;

// Creation order: the labels, then the focusable controls in tab order, then the link.
std::span<const ControlSpec> Form1Controls();

}  // namespace snapvik
