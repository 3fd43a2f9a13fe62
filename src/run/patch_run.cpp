#include "run/patch_run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "run/install_folder.h"
#include "verify/patch_file_list.h"

std::string g_installFolder;

CPatchRun::CPatchRun(const CPlatform& platform)
    : m_oldFile(*platform.files), m_platform(platform) {
  std::memset(&m_entry, 0, sizeof m_entry);
  std::memset(&m_block, 0, sizeof m_block);
}

CPatchRun::~CPatchRun() {
  // A worker that has not delivered its result still uses this object: rather than
  // destroy it under the worker, the process ends here (see FinishOrExit).
  FinishOrExit(0);
  m_oldFile.Close();
}

void CPatchRun::PresetInstallFolder(std::string folder) {
  m_presetFolder = std::move(folder);
  m_hasPresetFolder = true;
}

bool CPatchRun::Start(WindowHandle hWnd, uint32_t resultMsg) {
  m_hWnd = hWnd;
  m_resultMsg = resultMsg;
  m_hThread = m_platform.threads->Start(&CPatchRun::PatchThreadProc, this);
  return m_hThread != nullptr;
}

uint32_t CPatchRun::PatchThreadProc(void* param) {
  static_cast<CPatchRun*>(param)->RunWorker();
  return 0;
}

void CPatchRun::GetProgress(float& ratio, std::string& text) {
  std::lock_guard<std::mutex> hold(m_lock);
  ratio = m_status.GetRatio();
  text = m_status.GetText();
}

void CPatchRun::FinishOrExit(int exitCode) {
  if (m_hThread == nullptr) return;
  if (ResultPosted()) {
    // After posting, the worker only releases its own locals: this wait is short.
    m_hThread->Join();
    m_hThread.reset();
    return;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(exitCode);
}

void CPatchRun::PostResult(uintptr_t wParam) {
  // Mark first: once the front end has the message it may end the program and wait for
  // this thread, which from here on touches nothing of the run object.
  WindowHandle window = m_hWnd;
  uint32_t message = m_resultMsg;
  CUserInterface* ui = m_platform.ui;
  m_resultPosted.store(true, std::memory_order_release);
  ui->PostResult(window, message, wParam);
}

void CPatchRun::RunWorker() {
  CTrace& trace = *m_platform.trace;

  // 1. Install folder.
  if (m_hasPresetFolder) {
    g_installFolder = m_presetFolder;
  } else {
    LookupInstallFolder(m_platform, m_hWnd);
  }
  if (g_installFolder.empty()) {
    trace.Line("No install folder: the patch was not applied.");
    PostResult(kResultFailed);
    return;
  }

  // 2. Package.
  if (!LoadPackage()) {
    PostResult(kResultFailed);
    return;
  }

  // 3. Comparison with the installed files.
  bool completed = false;
  {
    CPatchFileList list(m_platform);
    if (!list.CompareLocalFiles(m_hWnd, m_pPackage, m_packageSize)) {
      PostResult(kResultFailed);
      return;
    }
    // 4. Total before the apply stage begins.
    const uint32_t total = list.GetTotalBytes();
    std::vector<std::string> names;
    list.CopyNames(names);
    m_status.SetTotal(total);
    // Archives an earlier run already brought to the new version are done.
    m_status.AddDone(list.GetPatchedBytes());

    // 5. Apply.
    completed = ApplyPatch(names);
  }

  // 6. The result is the last thing the run does.
  PostResult(completed ? kResultCompleted : kResultFailed);
}
