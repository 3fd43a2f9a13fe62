#include "app/window_layout.h"

#include <gtest/gtest.h>

#include <climits>

#include "run/patch_status.h"

namespace {

// The ratio the painter receives for `done` of `total`, computed by the status store
// exactly as during a run.
float RatioOf(uint32_t done, uint32_t total) {
  CPatchStatus status;
  status.SetTotal(total);
  status.AddDone(done);
  return status.GetRatio();
}

}  // namespace

TEST(WindowLayout, FixedRectanglesFollowTheWindowSize) {
  const CLayoutRect bar = FullBarRect(kWindowWidth, kWindowHeight);
  EXPECT_EQ(bar.left, 17);
  EXPECT_EQ(bar.top, 173);
  EXPECT_EQ(bar.right, 349);
  EXPECT_EQ(bar.bottom, 198);

  const CLayoutRect percent = PercentRect(kWindowWidth, kWindowHeight);
  EXPECT_EQ(percent.left, 20);
  EXPECT_EQ(percent.top, 173);
  EXPECT_EQ(percent.right, 346);
  EXPECT_EQ(percent.bottom, 198);

  const CLayoutRect status = StatusRect(kWindowWidth, kWindowHeight);
  EXPECT_EQ(status.left, 0);
  EXPECT_EQ(status.top, 133);
  EXPECT_EQ(status.right, 366);
  EXPECT_EQ(status.bottom, 163);

  // Another size moves every edge with it.
  const CLayoutRect other = FullBarRect(500, 300);
  EXPECT_EQ(other.top, 260);
  EXPECT_EQ(other.right, 483);
  EXPECT_EQ(other.bottom, 285);
}

TEST(WindowLayout, BarAndPercentageForTheDocumentedRatios) {
  struct Case {
    float ratio;
    bool drawBar;
    int right;  // checked only when drawBar
    const char* percent;
  };
  const Case cases[] = {
      {0.0f, false, 0, "0%"},
      {0.005f, false, 0, "0%"},
      {0.009f, false, 0, "0%"},
      {RatioOf(1, 100), true, 20, "1%"},  // trunc(332 x 0.01f) = 3
      {0.01f, true, 20, "1%"},
      {0.5f, true, 183, "50%"},
      {0.999f, true, 348, "99%"},  // 331.668 -> 331
      {1.0f, true, 349, "100%"},
      {1.5f, true, 515, "150%"},  // unclamped: past the window's right edge
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ratio);
    const CProgressView view = LayoutProgress(kWindowWidth, kWindowHeight, c.ratio);
    EXPECT_EQ(view.drawBar, c.drawBar);
    EXPECT_EQ(view.percent, c.percent);
    EXPECT_EQ(view.bar.left, 17);
    EXPECT_EQ(view.bar.top, 173);
    EXPECT_EQ(view.bar.bottom, 198);
    if (c.drawBar) {
      EXPECT_EQ(view.bar.right, c.right);
    }
  }
}

TEST(WindowLayout, ProductsAreTruncatedInSinglePrecision) {
  // In double precision 0.01f x 100 is 0.99999997... and would print 0%; rounded to
  // float it is exactly 1. Likewise done 1 of total 100 passes the 0.01 threshold only
  // when compared as float.
  const float one_percent = RatioOf(1, 100);
  ASSERT_LT(static_cast<double>(one_percent), 0.01);
  const CProgressView view = LayoutProgress(kWindowWidth, kWindowHeight, one_percent);
  EXPECT_TRUE(view.drawBar);
  EXPECT_EQ(view.bar.right - view.bar.left, 3);
  EXPECT_EQ(view.percent, "1%");

  // Counters whose products land just below a whole number in double precision and on
  // it in single precision.
  struct Case {
    uint32_t done;
    uint32_t total;
    int barLength;
    const char* percent;
  };
  const Case cases[] = {
      {29, 100, 96, "29%"},   // 0.29f x 100 = 29 (double: 28.99999...)
      {57, 100, 189, "57%"},  // 0.57f x 100 = 57
      {3, 332, 3, "0%"},      // 332 x (3/332) = 3 (double: 2.99999...)
      {17, 332, 17, "5%"},
  };
  for (const Case& c : cases) {
    const CProgressView v = LayoutProgress(kWindowWidth, kWindowHeight, RatioOf(c.done, c.total));
    EXPECT_EQ(v.bar.right - v.bar.left, c.barLength) << c.done << "/" << c.total;
    EXPECT_EQ(v.percent, c.percent) << c.done << "/" << c.total;
  }
}

TEST(WindowLayout, HugeRatiosSaturateInsteadOfOverflowing) {
  // Done far above total (a total that wrapped): the bar runs off the window and the
  // text stays a number; no undefined conversion.
  const float ratio = RatioOf(0xFFFFFFFFu, 1);
  const CProgressView view = LayoutProgress(kWindowWidth, kWindowHeight, ratio);
  EXPECT_TRUE(view.drawBar);
  EXPECT_EQ(view.bar.right, INT_MAX);
  EXPECT_EQ(view.percent, std::to_string(INT_MAX) + "%");
}

TEST(WindowLayout, StatusShowsOnlyTheFirstLine) {
  struct Case {
    const char* text;
    const char* shown;
  };
  const Case cases[] = {
      {"Patch char1.pkg ", "Patch char1.pkg "},
      {"first\nsecond", "first"},
      {"first\r\nsecond", "first\r"},  // only the line feed ends the line
      {"\nsecond", ""},
      {"", ""},
      {"Tom & Jerry", "Tom & Jerry"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FirstStatusLine(c.text), c.shown) << c.text;
  }
}
