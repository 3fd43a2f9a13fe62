#include "platform/path.h"

#include <gtest/gtest.h>

TEST(Path, SplitsOnBothSeparatorsAndADrivePrefix) {
  struct Case {
    const char* path;
    const char* folder;
    const char* file;
    const char* extension;
  } cases[] = {
      {"char1.pkg", "", "char1.pkg", ".pkg"},
      {"data\\x.pkg", "data\\", "x.pkg", ".pkg"},
      {"data/sub/x.PKG", "data/sub/", "x.PKG", ".PKG"},
      {"C:\\Games\\a.b.c", "C:\\Games\\", "a.b.c", ".c"},
      {"C:name.exe", "C:", "name.exe", ".exe"},
      {"noext", "", "noext", ""},
      {"dir.d\\noext", "dir.d\\", "noext", ""},
      {".temp_noext", "", ".temp_noext", ".temp_noext"},
      {"dir\\.temp_x.pkg", "dir\\", ".temp_x.pkg", ".pkg"},
      {"trailing.", "", "trailing.", "."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FolderPart(c.path), c.folder) << c.path;
    EXPECT_EQ(FileNamePart(c.path), c.file) << c.path;
    EXPECT_EQ(ExtensionOf(c.path), c.extension) << c.path;
  }
}
