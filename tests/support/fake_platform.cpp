#include "support/fake_platform.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

bool CFakeUi::AskYesNo(WindowHandle owner, const std::string& text, const std::string& caption) {
  if (onQuestion) onQuestion();
  std::lock_guard<std::mutex> hold(m_lock);
  m_questions.push_back({owner, text, caption});
  if (m_nextAnswer < answers.size()) return answers[m_nextAnswer++];
  return false;
}

std::string CFakeUi::ChooseFolder(WindowHandle, const std::string& title) {
  if (onChooseFolder) onChooseFolder();
  std::lock_guard<std::mutex> hold(m_lock);
  m_folderTitles.push_back(title);
  return folderAnswer;
}

void CFakeUi::PostResult(WindowHandle window, uint32_t message, uintptr_t wParam) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_results.push_back({window, message, wParam});
  m_posted.notify_all();
}

bool CFakeUi::WaitForResult(int milliseconds) {
  std::unique_lock<std::mutex> hold(m_lock);
  return m_posted.wait_for(hold, std::chrono::milliseconds(milliseconds),
                           [this] { return !m_results.empty(); });
}

std::vector<CFakeUi::Question> CFakeUi::Questions() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_questions;
}

std::vector<std::string> CFakeUi::FolderTitles() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_folderTitles;
}

std::vector<CFakeUi::Posted> CFakeUi::PostedResults() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_results;
}

bool CFakeSettings::ReadMachineString(const std::string& key, const std::string& valueName,
                                      char* buffer, uint32_t size) {
  queries.emplace_back(key, valueName);
  auto it = values.find({key, valueName});
  if (it == values.end()) return false;
  // Like the registry: the value's bytes and its terminator, cut to the buffer.
  const size_t n = std::min<size_t>(it->second.size() + 1, size);
  std::memcpy(buffer, it->second.c_str(), n);
  return true;
}

CPackageSource::EFind CFakePackageSource::Load(const uint8_t** data, uint64_t* size) {
  ++loads;
  if (onLoad) onLoad();
  if (mode == EFind::kLoaded) {
    static const uint8_t kEmpty = 0;
    *data = nullPointer ? nullptr : (bytes.empty() ? &kEmpty : bytes.data());
    *size = bytes.size();
  }
  return mode;
}

namespace {

class FakeThread : public CThread {
 public:
  explicit FakeThread(std::thread thread) : m_thread(std::move(thread)) {}
  ~FakeThread() override {
    if (m_thread.joinable()) m_thread.detach();
  }
  void Join() override {
    if (m_thread.joinable()) m_thread.join();
  }

 private:
  std::thread m_thread;
};

}  // namespace

std::unique_ptr<CThread> CFakeThreads::Start(Routine routine, void* param) {
  if (failStart) return nullptr;
  return std::make_unique<FakeThread>(std::thread([routine, param] { routine(param); }));
}

void CRecordingTrace::Line(const std::string& text) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_lines.push_back(text);
}

std::vector<std::string> CRecordingTrace::Lines() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_lines;
}

bool CRecordingTrace::Contains(const std::string& part) const {
  std::lock_guard<std::mutex> hold(m_lock);
  for (const std::string& line : m_lines) {
    if (line.find(part) != std::string::npos) return true;
  }
  return false;
}

std::string CRecordingTrace::Dump() const {
  std::lock_guard<std::mutex> hold(m_lock);
  std::string all;
  for (const std::string& line : m_lines) all += line + "\n";
  return all;
}
