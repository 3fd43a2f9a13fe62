#pragma once

// CPatchRun: the state of the one patch run a program performs, and the worker routine
// that drives it: install folder lookup, package load, comparison with the installed
// files, apply, and exactly one result message to the front end.
//
// Threads: the front end (user-interface thread) calls the constructor, Start,
// GetProgress and FinishOrExit; everything else runs on the worker thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "apply/old_file_reader.h"
#include "package/memory_stream.h"
#include "package/package_format.h"
#include "platform/platform.h"
#include "run/patch_status.h"

// The install folder, ending in a path separator: every local path is this text followed
// by a name relative to it. Written once by the lookup, before anything reads it.
extern std::string g_installFolder;

// Result message: wParam 1 = completed, 0 = failed, lParam 0.
constexpr uint32_t kResultMessage = 1034;  // WM_USER + 10
constexpr uintptr_t kResultCompleted = 1;
constexpr uintptr_t kResultFailed = 0;

class CPatchRun {
 public:
  explicit CPatchRun(const CPlatform& platform);
  // Never destroys state the worker may still use: see FinishOrExit.
  ~CPatchRun();
  CPatchRun(const CPatchRun&) = delete;
  CPatchRun& operator=(const CPatchRun&) = delete;

  // Use `folder` (ending in a separator) instead of looking the install folder up.
  // Call before Start.
  void PresetInstallFolder(std::string folder);

  // Stores the window and message number, then starts the worker. False when no thread
  // could be created.
  bool Start(WindowHandle hWnd, uint32_t resultMsg);

  // The worker routine; `param` is the CPatchRun. Returns 0.
  static uint32_t PatchThreadProc(void* param);

  // Snapshot for the painter: run lock, then the status store's lock.
  void GetProgress(float& ratio, std::string& text);

  // The front end is ending. When the worker has delivered its result, wait for it to
  // finish and return. Otherwise the run is still going (the user quit mid-run): end the
  // process at once with `exitCode`, without running destructors, so that nothing the
  // worker still uses is destroyed under it. A run that finished is unaffected.
  void FinishOrExit(int exitCode);

  bool ResultPosted() const { return m_resultPosted.load(std::memory_order_acquire); }
  const CPatchStatus& Status() const { return m_status; }

  // Stages, worker thread only. Each returns whether it succeeded; a failure has
  // already been written as a trace line.
  bool LoadPackage();
  // Builds and installs every listed entry. True when every listed entry was installed.
  bool ApplyPatch(std::vector<std::string> names);
  // Writes the current entry's new file to `temporaryPath`; true when it was written
  // completely and closed.
  bool WritePatchedFile(std::string temporaryPath);
  // Verifies and moves every written file into place. True when all were installed.
  bool ReplacePatchedFiles(std::vector<std::string> names);
  // Turns the zip archive at `path` into the file stored in it under `entryName`.
  // True when `path` now holds that whole entry with a matching CRC-32.
  bool ExtractZipInPlace(std::string path, std::string entryName);

 private:
  friend class CPatchRunTestAccess;  // tests look at the cursors and records

  void RunWorker();
  void PostResult(uintptr_t wParam);

  // Apply stage helpers (src/apply). First pass: writes each listed entry's temporary
  // file; appends the names whose file is complete to `written`. True when all were.
  bool WriteListedEntries(const std::vector<std::string>& names,
                          std::vector<std::string>* written);
  // Checks the current entry's (m_entry) temporary file and renames it over the
  // installed file. On failure the installed file stays and the temporary file goes.
  bool InstallEntry(const std::string& name);
  // Total size of the new files of the listed entries: what the first pass writes.
  uint64_t NewBytesOf(const std::vector<std::string>& names) const;
  // Whether the install folder's volume can hold every new file at once; says so when not.
  bool EnoughFreeSpace(const std::vector<std::string>& names);
  // Writes a trace line for every name from `from` on: the walk reached the end of the
  // package without finding them.
  void ReportNamesNotInPackage(const std::vector<std::string>& names, size_t from);
  // Deletes a temporary file that will not be installed; says so when it cannot.
  void DiscardTemporaryFile(const std::string& path);

  // Fields of the run, in their fixed order.
  WindowHandle m_hWnd = nullptr;
  uint32_t m_resultMsg = 0;
  std::mutex m_lock;  // run lock, held by GetProgress
  PatchEntryRecord m_entry;
  PatchBlock m_block;
  std::unique_ptr<CMemoryInputStream> m_pEntryStream;
  std::unique_ptr<CMemoryInputStream> m_pDataStream;
  std::unique_ptr<CThread> m_hThread;
  COldFileReader m_oldFile;
  CPatchStatus m_status;
  const uint8_t* m_pPackage = nullptr;
  uint32_t m_packageSize = 0;

  // Additions of this implementation.
  CPlatform m_platform;
  std::string m_presetFolder;
  bool m_hasPresetFolder = false;
  std::atomic<bool> m_resultPosted{false};
};
