#include "picker/bound_label_logic.h"

namespace snapvik {

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
