#include "app/window_layout.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>

// The rules below depend on products being rounded to float before they are truncated
// (332 x 0.01f is 3, 0.01f x 100 is 1); a platform that evaluates float expressions in
// a wider type would draw different bars.
static_assert(FLT_EVAL_METHOD == 0, "float arithmetic must be single precision");

namespace {

constexpr int kBarInset = 17;      // bar starts 17 px from either side
constexpr int kBarTopFromBottom = 40;
constexpr int kBarBottomFromBottom = 15;
constexpr int kPercentInset = 20;
constexpr int kStatusTopFromBottom = 80;
constexpr int kStatusBottomFromBottom = 50;
constexpr float kMinimumBarRatio = 0.01f;

// Truncates toward zero like a C cast, but saturates where the cast would be undefined.
int TruncateToInt(float value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<float>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<float>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

CLayoutRect FullBarRect(int width, int height) {
  return {kBarInset, height - kBarTopFromBottom, width - kBarInset,
          height - kBarBottomFromBottom};
}

CLayoutRect PercentRect(int width, int height) {
  return {kPercentInset, height - kBarTopFromBottom, width - kPercentInset,
          height - kBarBottomFromBottom};
}

CLayoutRect StatusRect(int width, int height) {
  return {0, height - kStatusTopFromBottom, width, height - kStatusBottomFromBottom};
}

CProgressView LayoutProgress(int width, int height, float ratio) {
  CProgressView view;
  view.bar = FullBarRect(width, height);
  view.drawBar = ratio >= kMinimumBarRatio;  // compared as float: 1/100 counts as 0.01
  const float length = static_cast<float>(width - 2 * kBarInset) * ratio;
  const int extent = TruncateToInt(length);
  // Keep left + extent inside int as well: the bar may run past the window, not wrap.
  view.bar.right = extent > INT_MAX - kBarInset ? INT_MAX : kBarInset + extent;

  const float percent = ratio * 100.0f;
  char text[1024];
  std::snprintf(text, sizeof text, "%d%%", TruncateToInt(percent));
  view.percent = text;
  return view;
}

std::string FirstStatusLine(const std::string& text) {
  const size_t end = text.find('\n');
  return end == std::string::npos ? text : text.substr(0, end);
}
