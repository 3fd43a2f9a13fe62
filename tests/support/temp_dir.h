#pragma once

// A scoped folder on the real disk, removed with everything in it at the end of the test.

#include <string>
#include <vector>

class CTempDir {
 public:
  CTempDir();
  ~CTempDir();
  CTempDir(const CTempDir&) = delete;
  CTempDir& operator=(const CTempDir&) = delete;

  // The folder, ending in '/'.
  const std::string& path() const { return m_path; }
  // path() + name.
  std::string Path(const std::string& name) const { return m_path + name; }

  // Writes `content` to path() + name, creating parent folders.
  void Write(const std::string& name, const std::string& content) const;
  // The content of path() + name; `*found` false when it does not exist.
  std::string Read(const std::string& name, bool* found = nullptr) const;
  bool Exists(const std::string& name) const;
  // Names of every file below the folder, relative to it, sorted.
  std::vector<std::string> List() const;

 private:
  std::string m_path;
};
