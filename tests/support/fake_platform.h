#pragma once

// Scriptable fakes of the platform interfaces. They record what the run asked for
// (questions, folder choices, posted results, trace lines) and answer from a script.
// File systems live in fake_files.h.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

class CFakeUi : public CUserInterface {
 public:
  struct Question {
    WindowHandle owner;
    std::string text;
    std::string caption;
  };
  struct Posted {
    WindowHandle window;
    uint32_t message;
    uintptr_t wParam;
  };

  // Answers to AskYesNo in order; once used up every answer is No.
  std::vector<bool> answers;
  // What ChooseFolder returns (empty = the user cancelled).
  std::string folderAnswer;
  // Called inside AskYesNo / ChooseFolder before answering (e.g. to block or observe).
  std::function<void()> onQuestion;
  std::function<void()> onChooseFolder;

  bool AskYesNo(WindowHandle owner, const std::string& text, const std::string& caption) override;
  std::string ChooseFolder(WindowHandle owner, const std::string& title) override;
  void PostResult(WindowHandle window, uint32_t message, uintptr_t wParam) override;

  // Waits until at least one result was posted; false on timeout.
  bool WaitForResult(int milliseconds = 10000);
  std::vector<Question> Questions() const;
  std::vector<std::string> FolderTitles() const;
  std::vector<Posted> PostedResults() const;

 private:
  mutable std::mutex m_lock;
  std::condition_variable m_posted;
  size_t m_nextAnswer = 0;
  std::vector<Question> m_questions;
  std::vector<std::string> m_folderTitles;
  std::vector<Posted> m_results;
};

class CFakeSettings : public CSettings {
 public:
  // (key, value name) -> value.
  std::map<std::pair<std::string, std::string>, std::string> values;
  uint16_t langId = 0x0409;
  std::vector<std::pair<std::string, std::string>> queries;

  bool ReadMachineString(const std::string& key, const std::string& valueName, char* buffer,
                         uint32_t size) override;
  uint16_t SystemDefaultLangId() override { return langId; }
};

class CFakePackageSource : public CPackageSource {
 public:
  EFind mode = EFind::kLoaded;
  bool nullPointer = false;  // kLoaded but the bytes cannot be locked
  std::vector<uint8_t> bytes;
  int loads = 0;
  std::function<void()> onLoad;  // called inside Load, before answering

  EFind Load(const uint8_t** data, uint64_t* size) override;
  std::string Describe() const override { return "test package"; }
};

class CFakeThreads : public CThreads {
 public:
  bool failStart = false;
  std::unique_ptr<CThread> Start(Routine routine, void* param) override;
};

class CRecordingTrace : public CTrace {
 public:
  void Line(const std::string& text) override;
  std::vector<std::string> Lines() const;
  // Whether any line contains `part`.
  bool Contains(const std::string& part) const;
  // Every line, one per row, for failure messages.
  std::string Dump() const;

 private:
  mutable std::mutex m_lock;
  std::vector<std::string> m_lines;
};

// Every fake in one place; `files` is chosen by the test (a real folder or in memory).
struct CFakePlatform {
  CFakeUi ui;
  CFakeSettings settings;
  CFakePackageSource package;
  CFakeThreads threads;
  CRecordingTrace trace;
  CFileSystem* files = DefaultFileSystem();

  CPlatform Get() {
    CPlatform p;
    p.files = files;
    p.settings = &settings;
    p.ui = &ui;
    p.package = &package;
    p.threads = &threads;
    p.trace = &trace;
    return p;
  }
};
