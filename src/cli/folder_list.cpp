#include "cli/folder_list.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

bool ListFolderFiles(const std::string& folder, std::vector<std::string>* files,
                     std::string* error) {
  files->clear();
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    *error = folder + ": not a folder";
    return false;
  }
  fs::recursive_directory_iterator it(folder, fs::directory_options::none, ec);
  const fs::recursive_directory_iterator end;
  for (; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    files->push_back(it->path().lexically_relative(folder).generic_string());
  }
  if (ec) {
    *error = folder + ": " + ec.message();
    return false;
  }
  std::sort(files->begin(), files->end());
  return true;
}
