#pragma once

// Lists the regular files below a folder, for the package builder.

#include <string>
#include <vector>

// Paths of every regular file below `folder`, relative to it, with '/' between folders,
// sorted byte-wise. False (and `*error` set) when the folder cannot be read.
bool ListFolderFiles(const std::string& folder, std::vector<std::string>* files,
                     std::string* error);
