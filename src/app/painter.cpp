// Drawing the main window: the skin's upper half as background, the part of its lower
// half that the progress reveals, the percentage and the first status line. The window
// procedure calls this on every paint request and every 333 ms; it draws straight onto
// the window's context.

#include <algorithm>
#include <string>

#include "app/mr_client_startup.h"

namespace {

const COLORREF kFlatBackground = RGB(200, 200, 200);
const COLORREF kFlatBar = RGB(255, 200, 100);
constexpr UINT kPercentFormat = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX;
constexpr UINT kStatusFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX;
constexpr char kCompletedStatus[] = "Patch Complete.";

RECT ToRect(const CLayoutRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

void FillFlat(HDC dc, const RECT& rect, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  if (brush == nullptr) return;
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
}

}  // namespace

void CMRClientStartup::Paint(HDC dc) {
  const int w = m_width;
  const int h = m_height;

  if (m_hMemDC != nullptr) {
    BitBlt(dc, 0, 0, w, h, m_hMemDC, 0, 0, SRCCOPY);
  } else {
    FillFlat(dc, RECT{0, 0, w, h}, kFlatBackground);
  }

  HGDIOBJ previousFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, TRANSPARENT);

  float ratio = 1.0f;
  std::string text = kCompletedStatus;
  if (!m_completed) m_run.GetProgress(ratio, text);

  const CProgressView view = LayoutProgress(w, h, ratio);
  if (view.drawBar) {
    RECT bar = ToRect(view.bar);
    // A ratio above 1 runs the bar past its frame; nothing past the window is visible,
    // so GDI is never handed a width beyond it.
    bar.right = std::min<LONG>(bar.right, w);
    if (m_hMemDC != nullptr) {
      BitBlt(dc, bar.left, bar.top, bar.right - bar.left, bar.bottom - bar.top, m_hMemDC,
             bar.left, bar.top + h, SRCCOPY);
    } else {
      FillFlat(dc, bar, kFlatBar);
    }
  }

  RECT percentRect = ToRect(PercentRect(w, h));
  DrawTextA(dc, view.percent.c_str(), -1, &percentRect, kPercentFormat);

  const std::string line = FirstStatusLine(text);
  RECT statusRect = ToRect(StatusRect(w, h));
  DrawTextA(dc, line.c_str(), -1, &statusRect, kStatusFormat);

  SelectObject(dc, previousFont);
}
