#include "app/mr_client_startup.h"

#include <memory>

#include "app/resource_ids.h"
#include "platform/platform.h"
#include "platform/win32/win32_ui.h"

namespace {

constexpr char kClassName[] = "MR_ManualPatch";
constexpr int kWindowLeft = 100;
constexpr int kWindowTop = 100;
constexpr int kQuitCommand = 0x8003;
constexpr int kQuitWidth = 18;
constexpr int kQuitHeight = 16;
constexpr int kExitNoWindow = 3;

// The run's platform: Win32 files, registry, threads and trace, message boxes and the
// folder browser owned by the main window, and the package resource. Built before the
// application object, so it is destroyed after it.
const CPlatform& ProgramPlatform() {
  static CWin32Ui ui;
  static std::unique_ptr<CPackageSource> package = NewEmbeddedPackageSource();
  static const CPlatform platform{DefaultFileSystem(), DefaultSettings(), &ui,
                                  package.get(),       DefaultThreads(),  DefaultTrace()};
  return platform;
}

}  // namespace

CMRClientStartup& CMRClientStartup::GetInstance() {
  // Built on the first call (thread-safe), destroyed at process exit.
  static CMRClientStartup instance;
  return instance;
}

CMRClientStartup::CMRClientStartup() : m_run(ProgramPlatform()) {}

CMRClientStartup::~CMRClientStartup() {
  if (m_hSkinBitmap != nullptr) {
    DeleteObject(m_hSkinBitmap);
    m_hSkinBitmap = nullptr;
  }
  // m_run is destroyed next; the run has ended by now (see FinishOrExit in Run).
}

int CMRClientStartup::Run(HINSTANCE instance) {
  m_hInstance = instance;

  // Without the skin the window still works, painted in flat colours.
  if (m_hSkinBitmap == nullptr) {
    m_hSkinBitmap = LoadBitmapA(m_hInstance, MAKEINTRESOURCEA(IDB_SKIN));
    m_hMemDC = nullptr;
    m_hOldBitmap = nullptr;
  }

  WNDCLASSA windowClass = {};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = &CMRClientStartup::WindowProc;
  windowClass.hInstance = m_hInstance;
  windowClass.hIcon = LoadIconA(m_hInstance, MAKEINTRESOURCEA(IDI_PROGRAM));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClassName;
  RegisterClassA(&windowClass);  // a failure shows as the window not being created

  m_hWnd = CreateWindowExA(0, kClassName, kClassName,
                           WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_SYSMENU, kWindowLeft,
                           kWindowTop, m_width, m_height, nullptr, nullptr, m_hInstance,
                           nullptr);
  if (m_hWnd == nullptr) return kExitNoWindow;

  HWND quit = CreateWindowExA(0, "BUTTON", "Quit", WS_CHILD | WS_VISIBLE | BS_FLAT | BS_BITMAP,
                              m_width - 20, 2, kQuitWidth, kQuitHeight, m_hWnd,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kQuitCommand)),
                              m_hInstance, nullptr);
  // The button's face stays loaded until the process ends.
  HBITMAP face = LoadBitmapA(m_hInstance, MAKEINTRESOURCEA(IDB_QUIT_BUTTON));
  if (quit != nullptr && face != nullptr) {
    SendMessageA(quit, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(face));
  }

  ShowWindow(m_hWnd, SW_SHOW);
  UpdateWindow(m_hWnd);  // first paint now: creates the memory context with the skin

  if (!m_run.Start(m_hWnd, kResultMessage)) return kExitNoWindow;

  MSG message = {};
  BOOL got;
  while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0) {
    if (got == -1) {
      message.wParam = 0;
      break;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }

  // The window is gone. A worker that has not posted its result is still running: end
  // the process here without destructors (see the header).
  m_run.FinishOrExit(0);
  return static_cast<int>(message.wParam);
}
