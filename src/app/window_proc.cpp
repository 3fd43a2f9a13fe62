// The main window's messages: repaint timer, painting, dragging by any point, Quit, the
// run's result and clean-up.

#include "app/mr_client_startup.h"

namespace {

constexpr UINT_PTR kRepaintTimer = 1;
constexpr UINT kRepaintPeriodMs = 333;
constexpr WORD kQuitCommand = 0x8003;
constexpr char kResultCaption[] = "MRPatch";
constexpr char kCompletedText[] = " Patch is completed.";
constexpr char kFailedText[] = " Patch is failed.";

}  // namespace

LRESULT CALLBACK CMRClientStartup::WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  return GetInstance().OnMessage(hwnd, message, wParam, lParam);
}

LRESULT CMRClientStartup::OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      SetTimer(hwnd, kRepaintTimer, kRepaintPeriodMs, nullptr);
      return 0;

    case WM_PAINT:
      OnPaintRequest(hwnd);
      return 0;

    case WM_TIMER: {
      // Nothing invalidates the window when the status changes: the timer repaints it.
      HDC dc = GetDC(hwnd);
      if (dc != nullptr) {
        Paint(dc);
        ReleaseDC(hwnd, dc);
      }
      return 0;
    }

    case WM_NCHITTEST: {
      // A press anywhere on the surface counts as a press on a caption, so the window is
      // dragged by any point. The Quit button is a child and answers its own hit tests.
      const LRESULT hit = DefWindowProcA(hwnd, message, wParam, lParam);
      return hit == HTCLIENT ? HTCAPTION : hit;
    }

    case WM_COMMAND:
      if (LOWORD(wParam) == kQuitCommand) DestroyWindow(hwnd);
      return 0;

    case WM_DESTROY:
      OnDestroy(hwnd);
      return 0;

    case kResultMessage:
      OnResult(hwnd, wParam);
      return DefWindowProcA(hwnd, message, wParam, lParam);

    default:
      // The system's close command ends up here and destroys the window like Quit.
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

void CMRClientStartup::OnPaintRequest(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (dc == nullptr) return;
  if (m_hSkinBitmap != nullptr && m_hMemDC == nullptr) {
    HDC memory = CreateCompatibleDC(dc);
    if (memory != nullptr) {
      m_hOldBitmap = SelectObject(memory, m_hSkinBitmap);
      m_hMemDC = memory;
    }
  }
  Paint(dc);
  EndPaint(hwnd, &ps);
}

void CMRClientStartup::OnDestroy(HWND hwnd) {
  KillTimer(hwnd, kRepaintTimer);
  if (m_hMemDC != nullptr) {
    SelectObject(m_hMemDC, m_hOldBitmap);
    DeleteDC(m_hMemDC);
    m_hMemDC = nullptr;
    m_hOldBitmap = nullptr;
  }
  if (m_hSkinBitmap != nullptr) {
    DeleteObject(m_hSkinBitmap);
    m_hSkinBitmap = nullptr;
  }
  PostQuitMessage(0);
}

void CMRClientStartup::OnResult(HWND hwnd, WPARAM wParam) {
  // The timer keeps repainting while the box is open: with m_completed set first, the
  // window behind the box already shows the full bar and "Patch Complete.".
  if (wParam == kResultCompleted) {
    m_completed = true;
    MessageBoxA(hwnd, kCompletedText, kResultCaption, MB_OK);
    DestroyWindow(hwnd);
  } else if (wParam == kResultFailed) {
    MessageBoxA(hwnd, kFailedText, kResultCaption, MB_OK);
    DestroyWindow(hwnd);
  }
  // Any other value is not a result: ignored, the window stays.
}
