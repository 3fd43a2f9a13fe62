#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"

// Move-only owner of a kernel HANDLE (INVALID_HANDLE_VALUE and null both mean none).
class CHandle {
 public:
  CHandle() = default;
  explicit CHandle(HANDLE h) : m_handle(h) {}
  ~CHandle() { Reset(); }
  CHandle(CHandle&& other) noexcept : m_handle(other.Release()) {}
  CHandle& operator=(CHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      m_handle = other.Release();
    }
    return *this;
  }
  CHandle(const CHandle&) = delete;
  CHandle& operator=(const CHandle&) = delete;

  bool Valid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return m_handle; }
  HANDLE Release() {
    HANDLE h = m_handle;
    m_handle = nullptr;
    return h;
  }
  void Reset() {
    if (Valid()) CloseHandle(m_handle);
    m_handle = nullptr;
  }

 private:
  HANDLE m_handle = nullptr;
};

// The one conversion from a Win32 error code to a result: "<context>: <system message>".
CResult WindowsError(const std::string& context, DWORD error);
