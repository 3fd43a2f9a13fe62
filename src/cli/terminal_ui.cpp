#include "cli/terminal_ui.h"

#include <chrono>
#include <cstdio>
#include <iostream>

#include "cli/progress_display.h"
#include "cli/terminal.h"

namespace {

std::string ReadAnswerLine() {
  std::string line;
  if (!std::getline(std::cin, line)) return std::string();
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

}  // namespace

bool CTerminalUi::AskYesNo(WindowHandle, const std::string& text, const std::string& caption) {
  if (m_answer == EAnswer::kYes) return true;
  if (m_answer == EAnswer::kNo || !StdinIsTerminal()) return false;
  std::string question = text;
  for (char& c : question) {
    if (c == '\n') c = ' ';
  }
  if (m_display != nullptr) m_display->Pause();
  std::cerr << caption << ": " << question << " [y/N] " << std::flush;
  const std::string answer = ReadAnswerLine();
  if (m_display != nullptr) m_display->Resume();
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

std::string CTerminalUi::ChooseFolder(WindowHandle, const std::string& title) {
  if (!StdinIsTerminal()) return std::string();
  if (m_display != nullptr) m_display->Pause();
  std::cerr << title << " (install folder, empty to cancel): " << std::flush;
  std::string folder = ReadAnswerLine();
  if (m_display != nullptr) m_display->Resume();
  return folder;
}

void CTerminalUi::PostResult(WindowHandle, uint32_t, uintptr_t wParam) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_posted = true;
  m_wParam = wParam;
  m_arrived.notify_all();
}

bool CTerminalUi::WaitForResult(int milliseconds, uintptr_t* wParam) {
  std::unique_lock<std::mutex> hold(m_lock);
  m_arrived.wait_for(hold, std::chrono::milliseconds(milliseconds), [this] { return m_posted; });
  if (m_posted) *wParam = m_wParam;
  return m_posted;
}
