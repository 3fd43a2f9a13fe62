#pragma once

// The command-line front end's side of the user interface: questions on the terminal,
// and the result hand-over to the waiting main thread.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/platform.h"

class CTerminalUi : public CUserInterface {
 public:
  enum class EAnswer { kAsk, kYes, kNo };
  explicit CTerminalUi(EAnswer answer) : m_answer(answer) {}

  bool AskYesNo(WindowHandle owner, const std::string& text, const std::string& caption) override;
  std::string ChooseFolder(WindowHandle owner, const std::string& title) override;
  void PostResult(WindowHandle window, uint32_t message, uintptr_t wParam) override;

  // Waits up to `milliseconds` for the result; true when it has arrived.
  bool WaitForResult(int milliseconds, uintptr_t* wParam);

 private:
  EAnswer m_answer;
  std::mutex m_lock;
  std::condition_variable m_arrived;
  bool m_posted = false;
  uintptr_t m_wParam = 0;
};
