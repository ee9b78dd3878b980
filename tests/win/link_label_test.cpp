// The link label on the real platform: its colours, its size under the
// mouse, its cursor, and the address handed over on button down.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "framework/application.h"
#include "framework/form.h"
#include "widgets/link_label.h"

namespace snapvik {
namespace {

class LabelHost : public TForm {
 public:
  LabelHost() {
    CreateForm({L"TLabelHost", L"Label", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, 337, 122, nullptr});
  }
};

struct Opened {
  HWND owner;
  std::wstring url;
  int show;
};

class LinkLabel : public ::testing::Test {
 protected:
  void SetUp() override {
    application_.Initialize(L"Label");
    label_.OpenAddress = [this](HWND owner, const std::wstring& url, int show) { opened_.push_back({owner, url, show}); };
    label_.Create(host_.Handle(), {"sWebLabel1", {}, L"https://example.com", 0},
                  {123, 102, 92, 13}, 100, nullptr);
    label_.URL = label_.Text();
  }
  FontDescription Font(TColor color, int height = -11) {
    FontDescription font;
    font.Height = height;
    font.Color = color;
    return font;
  }
  void Paint() {
    ::InvalidateRect(label_.Handle(), nullptr, TRUE);
    ::UpdateWindow(label_.Handle());
  }
  void Move(UINT msg) { ::SendMessageW(label_.Handle(), msg, 0, MAKELPARAM(3, 3)); }

  TApplication application_;
  LabelHost host_;
  TsWebLabel label_;
  std::vector<Opened> opened_;
};

TEST_F(LinkLabel, StartsAsTheMainWindowNeedsAndSizesToItsText) {
  EXPECT_EQ(label_.ShowMode, soDefault);
  EXPECT_EQ(static_cast<int>(soDefault), SW_SHOWDEFAULT);
  EXPECT_EQ(static_cast<int>(soShowNA), SW_SHOWNA);
  EXPECT_TRUE(label_.UseSkinColor);
  EXPECT_TRUE(label_.Transparent);
  EXPECT_FALSE(label_.MouseAbove());
  EXPECT_EQ(label_.Cursor, ::LoadCursorW(nullptr, IDC_HAND));

  label_.SetFont(Font(clHotLight));
  label_.SetHoverFont(Font(clMenuHighlight));
  label_.Loaded();
  const LayoutRect bounds = label_.Bounds();
  EXPECT_EQ(bounds.left, 123);
  EXPECT_EQ(bounds.top, 102);
  EXPECT_GT(bounds.width, 60);
  EXPECT_EQ(bounds.height, 13);
  // A larger font makes it larger.
  label_.SetFont(Font(clHotLight, -22));
  EXPECT_GT(label_.Bounds().width, bounds.width);
  EXPECT_GT(label_.Bounds().height, bounds.height);
}

TEST_F(LinkLabel, TheHoverColourComesAndGoesWithoutAChangeOfSize) {
  label_.SetFont(Font(clHotLight));
  label_.SetHoverFont(Font(clMenuHighlight));
  label_.Loaded();
  host_.ShowFirst(SW_SHOWNOACTIVATE);
  Paint();
  EXPECT_EQ(label_.DrawingFont().Color(), clHotLight);
  const LayoutRect before = label_.Bounds();

  Move(WM_MOUSEMOVE);
  EXPECT_TRUE(label_.MouseAbove());
  Paint();
  EXPECT_EQ(label_.DrawingFont().Color(), clMenuHighlight);
  EXPECT_EQ(label_.Bounds(), before);
  // A paint that changes the drawing font asks for no further paint.
  RECT pending;
  EXPECT_FALSE(::GetUpdateRect(label_.Handle(), &pending, FALSE));

  Move(WM_MOUSELEAVE);
  EXPECT_FALSE(label_.MouseAbove());
  Paint();
  EXPECT_EQ(label_.DrawingFont().Color(), clHotLight);
  EXPECT_EQ(label_.Bounds(), before);
}

TEST_F(LinkLabel, FontsWithoutAColourDrawBlueAndRed) {
  label_.SetFont(Font(kNoColor));
  label_.SetHoverFont(Font(kNoColor));
  label_.Loaded();
  EXPECT_EQ(label_.CurrentFont().Color(), 0xFF0000);
  Move(WM_MOUSEMOVE);
  EXPECT_EQ(label_.CurrentFont().Color(), 0x0000FF);
  EXPECT_EQ(&label_.CurrentFont(), &label_.HoverFont());
}

TEST_F(LinkLabel, ButtonDownOpensTheAddressOnceAndReleaseDoesNothing) {
  label_.ShowMode = soMaximize;
  Move(WM_LBUTTONDOWN);
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0].owner, application_.Handle());
  EXPECT_EQ(opened_[0].url, L"https://example.com");
  EXPECT_EQ(opened_[0].show, SW_MAXIMIZE);
  Move(WM_LBUTTONUP);
  EXPECT_EQ(opened_.size(), 1u);
  // Without an address a press does nothing.
  label_.URL.clear();
  Move(WM_LBUTTONDOWN);
  EXPECT_EQ(opened_.size(), 1u);
}

TEST_F(LinkLabel, TheCursorOverItIsTheHand) {
  ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
  ::SendMessageW(label_.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(label_.Handle()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));
}

}  // namespace
}  // namespace snapvik
