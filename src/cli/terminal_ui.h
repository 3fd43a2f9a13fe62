#pragma once

// The command-line front end's side of the user interface: questions on the terminal,
// and the result hand-over to the waiting main thread. The mismatch question is answered
// by --yes / --no when given; otherwise it is asked on the terminal, and with no terminal
// on standard input the answer is No. The folder question is asked only on a terminal.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/platform.h"

class CProgressDisplay;

class CTerminalUi : public CUserInterface {
 public:
  enum class EAnswer { kAsk, kYes, kNo };
  // `display`, when given, is paused while a question is on the terminal.
  explicit CTerminalUi(EAnswer answer, CProgressDisplay* display = nullptr)
      : m_answer(answer), m_display(display) {}

  bool AskYesNo(WindowHandle owner, const std::string& text, const std::string& caption) override;
  std::string ChooseFolder(WindowHandle owner, const std::string& title) override;
  void PostResult(WindowHandle window, uint32_t message, uintptr_t wParam) override;

  // Waits up to `milliseconds` for the result; true when it has arrived.
  bool WaitForResult(int milliseconds, uintptr_t* wParam);

 private:
  EAnswer m_answer;
  CProgressDisplay* m_display;
  std::mutex m_lock;
  std::condition_variable m_arrived;
  bool m_posted = false;
  uintptr_t m_wParam = 0;
};
