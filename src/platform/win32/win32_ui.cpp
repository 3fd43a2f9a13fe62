#include "platform/win32/win32_ui.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

bool CWin32Ui::AskYesNo(WindowHandle owner, const std::string& text, const std::string& caption) {
  return MessageBoxA(static_cast<HWND>(owner), text.c_str(), caption.c_str(), MB_YESNO) == IDYES;
}

std::string CWin32Ui::ChooseFolder(WindowHandle owner, const std::string& title) {
  // The browser needs COM on the calling (worker) thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  char displayName[MAX_PATH] = {};
  BROWSEINFOA info = {};
  info.hwndOwner = static_cast<HWND>(owner);
  info.pszDisplayName = displayName;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  std::string folder;
  LPITEMIDLIST item = SHBrowseForFolderA(&info);
  if (item != nullptr) {
    char path[MAX_PATH] = {};
    if (SHGetPathFromIDListA(item, path)) folder = path;
    CoTaskMemFree(item);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return folder;
}

void CWin32Ui::PostResult(WindowHandle window, uint32_t message, uintptr_t wParam) {
  PostMessageA(static_cast<HWND>(window), message, wParam, 0);
}
