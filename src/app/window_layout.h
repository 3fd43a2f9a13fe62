#pragma once

// Geometry and texts of the main window's progress display, kept free of any window
// system so that the rules are tested on every platform. The painter (app/painter.cpp)
// draws exactly what these functions describe.

#include <string>

// The main window's fixed size; the skin bitmap is this wide and twice this high (the
// lower half is the same picture with the progress bar filled).
constexpr int kWindowWidth = 366;
constexpr int kWindowHeight = 213;

// Left, top, right, bottom in client coordinates; right and bottom are exclusive.
struct CLayoutRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// The bar at full length: the band of the skin's lower half that shows a filled bar.
CLayoutRect FullBarRect(int width, int height);
// Where the percentage is drawn (left-aligned, centred vertically on the bar).
CLayoutRect PercentRect(int width, int height);
// Where the first line of the status text is drawn (centred in the band).
CLayoutRect StatusRect(int width, int height);

// What one repaint shows for a progress ratio.
struct CProgressView {
  bool drawBar = false;  // a bar is drawn only from a ratio of 0.01 on
  CLayoutRect bar;       // valid when drawBar; its right edge is not clamped to the window
  std::string percent;   // "N%" with N the ratio times 100, truncated
};

// The bar's right edge is 17 + trunc((width - 34) * ratio) and the percentage
// trunc(ratio * 100), both products taken in single precision. Nothing is clamped to
// 100 %: a ratio above 1.0 draws the bar past the window's edge. Values beyond the range
// of int (a ratio of billions from a damaged total) saturate instead of overflowing.
CProgressView LayoutProgress(int width, int height, float ratio);

// The part of a status text that the window shows: everything before the first line
// feed, or the whole text when it has none.
std::string FirstStatusLine(const std::string& text);
