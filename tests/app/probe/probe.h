#pragma once

// mrprobe: a test-only Win32 console program that the end-to-end tests run under the
// same Wine prefix and display as MRManualPatch.exe. It looks at the program from the
// outside, the way a user or another program sees it: windows and their rectangles,
// the dialogs owned by the main window, their texts and buttons.

#include <windows.h>

#include <string>
#include <vector>

// Text of any window, also of one in another process.
std::string WindowText(HWND hwnd);
std::string ClassOf(HWND hwnd);
// Prints a text on one line: line breaks as \n, backslashes doubled.
std::string Escape(const std::string& text);

// Paints what the main window must show into a 24-bit bitmap file: the skin of `exe`
// (or the flat colours when `flat`), the bar up to `barRight` (none when negative), the
// percentage and the status line. The rules are written out here independently of the
// program's painter, so a screenshot can be compared with them.
bool RenderExpected(const std::string& exe, const std::string& out, int barRight,
                    const std::string& percent, const std::string& status, bool flat);

// Replaces one resource of `exe` with the bytes of `file`.
bool UpdateProgramResource(const std::string& exe, const std::string& type, int id, int lang,
                           const std::string& file);
