#pragma once
// Control designs as data, and the arithmetic that scales and places windows.
namespace snapvik {

struct LayoutRect {
  int left, top, width, height;
  bool operator==(const LayoutRect&) const = default;
};

struct LayoutPoint {
  int x, y;
  bool operator==(const LayoutPoint&) const = default;
};

// One control as a form's designer placed it.
struct ControlSpec {
  const char* name;
  LayoutRect bounds;  // at 96 pixels per inch, text height 13
  const wchar_t* text;
  int maxLength;  // 0: unlimited
};

inline constexpr int kDesignPixelsPerInch = 96;
inline constexpr int kDesignTextHeight = 13;

// a * b / c rounded half away from zero, as the platform's MulDiv does;
// -1, as it gives, for a divisor of 0 or a result beyond an int.
int MulDivRound(int a, int b, int c);

int ScaledFontHeight(int designHeight, int pixelsPerInch);
LayoutRect ScaledRect(LayoutRect r, int measuredTextHeight);

// Centre of the desktop's bounding box, truncated, never above or left of it.
LayoutPoint CenteredOrigin(LayoutRect desktop, int windowWidth, int windowHeight);

// The sides of its parent that a control keeps its distance to.
enum Anchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using Anchors = unsigned;

struct LayoutSize {
  int width, height;
  bool operator==(const LayoutSize&) const = default;
};

// Where a control placed at `base` in a client area of `baseClient` goes
// when the client area becomes `now`: anchored to both sides of an axis it
// stretches, to the far side only it moves, to neither it keeps its centre.
LayoutRect AnchoredRect(LayoutRect base, LayoutSize baseClient, LayoutSize now, Anchors anchors);

// Where a control's attached caption label goes.
enum TsCaptionLayout { sclLeft = 0, sclTopLeft = 1, sclTopCenter = 2, sclTopRight = 3 };

// The label's top-left corner for a control at `control`, in the parent's pixels.
LayoutPoint BoundLabelOrigin(LayoutRect control, int labelWidth, int labelHeight, TsCaptionLayout layout, int indent);

}  // namespace snapvik
