#include "framework/layout.h"

#include <cstdint>

namespace snapvik {

int MulDivRound(int a, int b, int c) {
  if (c == 0) return -1;
  const int64_t p = static_cast<int64_t>(a) * b;
  const int64_t magnitudeP = p < 0 ? -p : p;
  const int64_t magnitudeC = c < 0 ? -static_cast<int64_t>(c) : c;
  const int64_t q = (magnitudeP + magnitudeC / 2) / magnitudeC;
  const int64_t result = (p < 0) != (c < 0) ? -q : q;
  return result < INT32_MIN || result > INT32_MAX ? -1 : static_cast<int>(result);
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

namespace {

// One axis: start and extent for a parent extent that grew by `growth`.
void AnchorAxis(int& start, int& extent, int growth, bool nearSide, bool farSide) {
  if (nearSide && farSide) {
    extent += growth;
    if (extent < 0) extent = 0;
  } else if (farSide) {
    start += growth;
  } else if (!nearSide) {
    start += growth / 2;
  }
}

}  // namespace

LayoutRect AnchoredRect(LayoutRect base, LayoutSize baseClient, LayoutSize now, Anchors anchors) {
  AnchorAxis(base.left, base.width, now.width - baseClient.width, anchors & akLeft, anchors & akRight);
  AnchorAxis(base.top, base.height, now.height - baseClient.height, anchors & akTop, anchors & akBottom);
  return base;
}

LayoutPoint BoundLabelOrigin(LayoutRect control, int labelWidth, int labelHeight, TsCaptionLayout layout,
                             int indent) {
  const int above = control.top - labelHeight - indent;
  switch (layout) {
    case sclLeft:
      return {control.left - indent - 4 - labelWidth, control.top + (control.height - labelHeight) / 2};
    case sclTopCenter:
      return {control.left + (control.width - labelWidth) / 2, above};
    case sclTopRight:
      return {control.left + control.width - labelWidth, above};
    case sclTopLeft:
    default:
      return {control.left, above};
  }
}

}  // namespace snapvik
