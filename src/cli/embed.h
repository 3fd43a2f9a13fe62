#pragma once

// Making a self-contained patcher: a program that carries a package.
//   Linux:   a copy of an mrpatch executable with the package appended and followed by the
//            trailer of package/embedded_package.h (an older package it carried is dropped).
//   Windows: a copy of MRManualPatch.exe with the package as resource "DAT" 136.
// The output is written under a temporary name and renamed into place when complete.

#include <string>

#include "platform/platform.h"

// The program copied when none is named: the running mrpatch on Linux, MRManualPatch.exe
// beside mrpatch.exe on Windows.
std::string DefaultEmbedProgram();

CResult EmbedPackage(const std::string& program, const std::string& packagePath,
                     const std::string& output);
