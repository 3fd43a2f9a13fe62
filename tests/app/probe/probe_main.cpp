// mrprobe COMMAND ARGS...  (see usage below). Prints key=value lines; exit code 0 on
// success, 1 when what was awaited did not happen in time, 2 on bad arguments.

#include "probe.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: mrprobe COMMAND ...\n"
    "  window CLASS TIMEOUT_MS         wait for a visible top-level window; print it and its "
    "children\n"
    "  dialogs OWNER_CLASS TIMEOUT_MS  wait for dialogs owned by a window of OWNER_CLASS; print "
    "them\n"
    "  press OWNER_CLASS BUTTON TIMEOUT_MS\n"
    "                                  press BUTTON (its text without '&', or #ID) on such a\n"
    "                                  dialog\n"
    "  post CLASS MESSAGE WPARAM        post a message to the window\n"
    "  freeze CLASS FILE SIZE TIMEOUT_MS\n"
    "                                  wait for the window and for FILE to hold SIZE bytes, then\n"
    "                                  suspend every thread of its process but the window's\n"
    "  thaw CLASS                       resume them\n"
    "  hold FILE TRIGGER DELAY_MS TIMEOUT_MS\n"
    "                                  keep FILE open without sharing deletion until TRIGGER\n"
    "                                  exists plus DELAY_MS (TRIGGER -: for DELAY_MS)\n"
    "  resource EXE TYPE ID LANG FILE   replace a resource of EXE\n"
    "  render EXE OUT.bmp BAR_RIGHT PERCENT STATUS [flat]\n"
    "                                  paint the expected window picture\n";

constexpr DWORD kPollMs = 20;

std::string Hex(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return text;
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

struct FindTop {
  std::string className;
  HWND found = nullptr;
};

BOOL CALLBACK FindTopProc(HWND hwnd, LPARAM param) {
  auto* find = reinterpret_cast<FindTop*>(param);
  if (IsWindowVisible(hwnd) && ClassOf(hwnd) == find->className) {
    find->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND FindTopWindow(const std::string& className) {
  FindTop find{className};
  EnumWindows(&FindTopProc, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

HWND WaitTopWindow(const std::string& className, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    HWND hwnd = FindTopWindow(className);
    if (hwnd != nullptr || GetTickCount() - start >= timeoutMs) return hwnd;
    Sleep(kPollMs);
  }
}

struct DialogSearch {
  std::string ownerClass;
  std::vector<HWND> dialogs;
};

BOOL CALLBACK DialogProc(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<DialogSearch*>(param);
  if (!IsWindowVisible(hwnd) || ClassOf(hwnd) != "#32770") return TRUE;
  HWND owner = GetWindow(hwnd, GW_OWNER);
  if (owner != nullptr && ClassOf(owner) == search->ownerClass) search->dialogs.push_back(hwnd);
  return TRUE;
}

std::vector<HWND> OwnedDialogs(const std::string& ownerClass) {
  DialogSearch search{ownerClass, {}};
  EnumWindows(&DialogProc, reinterpret_cast<LPARAM>(&search));
  return search.dialogs;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

std::string WithoutMnemonic(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '&') out += c;
  }
  return out;
}

void PrintChildren(HWND parent) {
  for (HWND child : Children(parent)) {
    if (GetParent(child) != parent) continue;
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    std::printf("child id=%d class=%s visible=%d enabled=%d rect=%s text=%s\n",
                GetDlgCtrlID(child), ClassOf(child).c_str(), IsWindowVisible(child) ? 1 : 0,
                IsWindowEnabled(child) ? 1 : 0, RectText(r).c_str(),
                Escape(WindowText(child)).c_str());
  }
}

int CmdWindow(const std::string& className, DWORD timeoutMs) {
  HWND hwnd = WaitTopWindow(className, timeoutMs);
  if (hwnd == nullptr) {
    std::printf("timeout: no window of class %s\n", className.c_str());
    return 1;
  }
  DWORD pid = 0;
  const DWORD tid = GetWindowThreadProcessId(hwnd, &pid);
  RECT window, client;
  GetWindowRect(hwnd, &window);
  GetClientRect(hwnd, &client);
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
  std::printf("hwnd=%s pid=%lu tid=%lu\n", Hex(hwnd).c_str(), pid, tid);
  std::printf("window=%s\n", RectText(window).c_str());
  std::printf("client=%s\n", RectText(client).c_str());
  std::printf("style=0x%08lx exstyle=0x%08lx enabled=%d\n",
              static_cast<unsigned long>(GetWindowLongA(hwnd, GWL_STYLE)),
              static_cast<unsigned long>(GetWindowLongA(hwnd, GWL_EXSTYLE)),
              IsWindowEnabled(hwnd) ? 1 : 0);
  std::printf("title=%s\n", Escape(WindowText(hwnd)).c_str());
  PrintChildren(hwnd);
  return 0;
}

int CmdDialogs(const std::string& ownerClass, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  std::vector<HWND> dialogs;
  for (;;) {
    dialogs = OwnedDialogs(ownerClass);
    if (!dialogs.empty() || GetTickCount() - start >= timeoutMs) break;
    Sleep(kPollMs);
  }
  if (dialogs.empty()) {
    std::printf("timeout: no dialog owned by %s\n", ownerClass.c_str());
    return 1;
  }
  for (HWND dialog : dialogs) {
    RECT r;
    GetWindowRect(dialog, &r);
    std::printf("dialog=%s rect=%s caption=%s\n", Hex(dialog).c_str(), RectText(r).c_str(),
                Escape(WindowText(dialog)).c_str());
    PrintChildren(dialog);
  }
  return 0;
}

int CmdPress(const std::string& ownerClass, const std::string& button, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    for (HWND dialog : OwnedDialogs(ownerClass)) {
      for (HWND child : Children(dialog)) {
        if (ClassOf(child) != "Button" || !IsWindowVisible(child)) continue;
        const int id = GetDlgCtrlID(child);
        const bool byId = button.size() > 1 && button[0] == '#';
        if (byId ? std::atoi(button.c_str() + 1) != id : WithoutMnemonic(WindowText(child)) != button) {
          continue;
        }
        std::printf("pressed=%s id=%d caption=%s\n", button.c_str(), id,
                    Escape(WindowText(dialog)).c_str());
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(child));
        return 0;
      }
    }
    if (GetTickCount() - start >= timeoutMs) break;
    Sleep(kPollMs);
  }
  std::printf("timeout: no button %s on a dialog owned by %s\n", button.c_str(),
              ownerClass.c_str());
  return 1;
}

int CmdPost(const std::string& className, UINT message, WPARAM wParam) {
  HWND hwnd = FindTopWindow(className);
  if (hwnd == nullptr) {
    std::printf("no window of class %s\n", className.c_str());
    return 1;
  }
  return PostMessageA(hwnd, message, wParam, 0) ? 0 : 1;
}

// Threads of the window's process other than the window's own (the patch worker).
std::vector<DWORD> WorkerThreads(HWND hwnd) {
  DWORD pid = 0;
  const DWORD uiThread = GetWindowThreadProcessId(hwnd, &pid);
  std::vector<DWORD> threads;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return threads;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == pid && entry.th32ThreadID != uiThread) {
      threads.push_back(entry.th32ThreadID);
    }
  }
  CloseHandle(snapshot);
  return threads;
}

void ResumeAll(const std::vector<DWORD>& threads) {
  for (DWORD id : threads) {
    HANDLE t = OpenThread(THREAD_SUSPEND_RESUME, FALSE, id);
    if (t == nullptr) continue;
    while (ResumeThread(t) > 1) {
    }
    CloseHandle(t);
  }
}

int CmdFreeze(const std::string& className, const std::string& file, ULONGLONG minSize,
              DWORD timeoutMs) {
  // Started before the program: first the window, then the file, polled tightly.
  const DWORD start = GetTickCount();
  HWND hwnd = WaitTopWindow(className, timeoutMs);
  if (hwnd == nullptr) {
    std::printf("timeout: no window of class %s\n", className.c_str());
    return 1;
  }
  if (!file.empty()) {
    for (;;) {
      WIN32_FILE_ATTRIBUTE_DATA data;
      if (GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data) &&
          ((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) >= minSize) {
        break;
      }
      if (GetTickCount() - start >= timeoutMs) {
        std::printf("timeout: %s did not reach %llu bytes\n", file.c_str(), minSize);
        return 1;
      }
      Sleep(0);
    }
  }
  // A thread stopped while it holds a lock that painting needs (the status lock, the
  // heap) would hang the window: make sure the window still paints, else try again.
  for (int attempt = 0; attempt < 50; ++attempt) {
    const std::vector<DWORD> threads = WorkerThreads(hwnd);
    for (DWORD id : threads) {
      HANDLE t = OpenThread(THREAD_SUSPEND_RESUME, FALSE, id);
      if (t == nullptr) continue;
      SuspendThread(t);
      CloseHandle(t);
    }
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(hwnd, WM_TIMER, 1, 0, SMTO_BLOCK, 1000, &result)) {
      std::printf("frozen=%u\n", static_cast<unsigned>(threads.size()));
      return 0;
    }
    ResumeAll(threads);
    Sleep(3);
  }
  std::printf("could not freeze the worker without blocking the window\n");
  return 1;
}

int CmdThaw(const std::string& className) {
  HWND hwnd = FindTopWindow(className);
  if (hwnd == nullptr) {
    std::printf("no window of class %s\n", className.c_str());
    return 1;
  }
  ResumeAll(WorkerThreads(hwnd));
  return 0;
}

// Keeps FILE open the way another program might (reading, sharing reading and writing
// but not deletion, so it cannot be replaced meanwhile) until TRIGGER exists plus
// DELAY_MS, or for DELAY_MS when TRIGGER is "-".
int CmdHold(const std::string& file, const std::string& trigger, DWORD delayMs,
            DWORD timeoutMs) {
  HANDLE h = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    std::printf("cannot open %s: error %lu\n", file.c_str(), GetLastError());
    return 1;
  }
  std::printf("holding=%s\n", file.c_str());
  std::fflush(stdout);
  int rc = 0;
  if (trigger != "-") {
    const DWORD start = GetTickCount();
    while (GetFileAttributesA(trigger.c_str()) == INVALID_FILE_ATTRIBUTES) {
      if (GetTickCount() - start >= timeoutMs) {
        std::printf("timeout: %s did not appear\n", trigger.c_str());
        rc = 1;
        break;
      }
      Sleep(1);
    }
  }
  Sleep(delayMs);
  CloseHandle(h);
  std::printf("released\n");
  return rc;
}

}  // namespace

std::string ClassOf(HWND hwnd) {
  char name[256] = {};
  GetClassNameA(hwnd, name, sizeof name);
  return name;
}

std::string WindowText(HWND hwnd) {
  // WM_GETTEXT is carried across processes; the timeout keeps a hung window from hanging
  // the probe.
  char text[4096] = {};
  DWORD_PTR length = 0;
  if (SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                          SMTO_ABORTIFHUNG, 2000, &length)) {
    return std::string(text, length < sizeof text ? length : sizeof text - 1);
  }
  GetWindowTextA(hwnd, text, sizeof text);
  return text;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += c;
    }
  }
  return out;
}

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  auto number = [](const std::string& s) { return std::strtoul(s.c_str(), nullptr, 0); };
  int rc = 2;
  if (args.size() == 3 && args[0] == "window") {
    rc = CmdWindow(args[1], number(args[2]));
  } else if (args.size() == 3 && args[0] == "dialogs") {
    rc = CmdDialogs(args[1], number(args[2]));
  } else if (args.size() == 4 && args[0] == "press") {
    rc = CmdPress(args[1], args[2], number(args[3]));
  } else if (args.size() == 4 && args[0] == "post") {
    rc = CmdPost(args[1], number(args[2]), number(args[3]));
  } else if (args.size() == 5 && args[0] == "freeze") {
    rc = CmdFreeze(args[1], args[2], std::strtoull(args[3].c_str(), nullptr, 0),
                   number(args[4]));
  } else if (args.size() == 5 && args[0] == "hold") {
    rc = CmdHold(args[1], args[2], number(args[3]), number(args[4]));
  } else if (args.size() == 2 && args[0] == "thaw") {
    rc = CmdThaw(args[1]);
  } else if (args.size() == 6 && args[0] == "resource") {
    rc = UpdateProgramResource(args[1], args[2], static_cast<int>(number(args[3])),
                               static_cast<int>(number(args[4])), args[5])
             ? 0
             : 1;
  } else if ((args.size() == 6 || args.size() == 7) && args[0] == "render") {
    const bool flat = args.size() == 7 && args[6] == "flat";
    rc = RenderExpected(args[1], args[2], std::atoi(args[3].c_str()), args[4], args[5], flat)
             ? 0
             : 1;
  } else {
    std::fputs(kUsage, stderr);
  }
  std::fflush(stdout);
  return rc;
}
