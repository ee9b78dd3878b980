#pragma once
// Where a control's attached caption label goes.
#include "framework/layout.h"

namespace snapvik {

enum TsCaptionLayout { sclLeft = 0, sclTopLeft = 1, sclTopCenter = 2, sclTopRight = 3 };

// The label's top-left corner for a control at `control`, in the parent's pixels.
LayoutPoint BoundLabelOrigin(LayoutRect control, int labelWidth, int labelHeight, TsCaptionLayout layout, int indent);

}  // namespace snapvik
