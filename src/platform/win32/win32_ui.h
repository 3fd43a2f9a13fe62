#pragma once

// The Windows program's side of the user interface: message boxes and the folder
// browser owned by the main window, and the result posted to it.

#include "platform/platform.h"

class CWin32Ui : public CUserInterface {
 public:
  bool AskYesNo(WindowHandle owner, const std::string& text, const std::string& caption) override;
  std::string ChooseFolder(WindowHandle owner, const std::string& title) override;
  void PostResult(WindowHandle window, uint32_t message, uintptr_t wParam) override;
};
