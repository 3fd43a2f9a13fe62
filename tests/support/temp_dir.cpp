#include "support/temp_dir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

CTempDir::CTempDir() {
  std::string pattern = (fs::temp_directory_path() / "mrpatch-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_path = std::string(buffer.data()) + "/";
}

CTempDir::~CTempDir() {
  std::error_code ignored;
  // Tests may leave read-only folders behind; make them writable so they can go.
  for (auto it = fs::recursive_directory_iterator(m_path, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(m_path, ignored);
}

void CTempDir::Write(const std::string& name, const std::string& content) const {
  const fs::path p = fs::path(m_path) / name;
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string CTempDir::Read(const std::string& name, bool* found) const {
  std::ifstream in(fs::path(m_path) / name, std::ios::binary);
  if (found != nullptr) *found = static_cast<bool>(in);
  if (!in) return std::string();
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

bool CTempDir::Exists(const std::string& name) const {
  return fs::exists(fs::path(m_path) / name);
}

std::vector<std::string> CTempDir::List() const {
  std::vector<std::string> names;
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(m_path, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_regular_file()) names.push_back(fs::relative(it->path(), m_path).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}
