#pragma once

// CMRClientStartup: the Windows program. The one process-wide object that owns the main
// window's resources (skin bitmap, memory device context) and the patch run, built by
// WinMain, driven by the window procedure and drawn by Paint. User-interface thread only;
// the worker thread receives the run object's address, never this object.
//
// Ending the program. Every way out (the result box, the Quit button, the system's close
// command) destroys the window, whose WM_DESTROY posts the quit message and so ends the
// message loop. Run then calls m_run.FinishOrExit(0):
//  - when the worker has posted its result, the run is over: FinishOrExit waits for the
//    worker thread (it only releases its locals by then) and the program returns 0
//    normally, destructors included;
//  - when it has not (the user pressed Quit mid-run), the worker may be anywhere inside
//    the run and still uses the run object, its lock, status store, file reader, package
//    cursors and g_installFolder. FinishOrExit then ends the process at once with exit
//    code 0 without running any destructor, so nothing is destroyed under the worker.
//    Files in the install folder are each either old or new at that moment: new files are
//    put in place by atomic replacement, and a half-written ".temp_" file may stay
//    behind for the next run to overwrite.

#include <windows.h>

#include "app/window_layout.h"
#include "run/patch_run.h"

class CMRClientStartup {
 public:
  // The single instance, built on the first call with the Win32 platform.
  static CMRClientStartup& GetInstance();
  virtual ~CMRClientStartup();
  CMRClientStartup(const CMRClientStartup&) = delete;
  CMRClientStartup& operator=(const CMRClientStartup&) = delete;

  // The body of WinMain: loads the skin, registers the window class, creates the window
  // and its Quit button, starts the run and runs the message loop. Returns the process
  // exit code: 0 after the window was destroyed, 3 when the window or the worker thread
  // could not be created.
  int Run(HINSTANCE instance);

  // Window procedure of the class "MR_ManualPatch".
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  // Paints the whole client area on `dc`: skin (or flat colours), bar, percentage and the
  // first status line. The font selected in `dc` before the call is selected again.
  void Paint(HDC dc);

 private:
  CMRClientStartup();
  LRESULT OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void OnPaintRequest(HWND hwnd);
  void OnDestroy(HWND hwnd);
  void OnResult(HWND hwnd, WPARAM wParam);

  // Fields, in their fixed order.
  HINSTANCE m_hInstance = nullptr;
  HWND m_hWnd = nullptr;
  int m_width = kWindowWidth;
  int m_height = kWindowHeight;
  HBITMAP m_hSkinBitmap = nullptr;
  HDC m_hMemDC = nullptr;        // created at the first paint request; holds the skin
  HGDIOBJ m_hOldBitmap = nullptr;  // what the skin displaced from m_hMemDC
  bool m_completed = false;      // the run reported completion: paint "Patch Complete."
  CPatchRun m_run;
};
