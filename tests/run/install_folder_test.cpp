// The install folder lookup: the split of the registry value, the registry location by
// language, the "no value" marker and the folder browser.

#include "run/install_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "run/patch_run.h"
#include "support/fake_platform.h"

namespace {

WindowHandle const kWindow = reinterpret_cast<WindowHandle>(0x77);

using Query = std::pair<std::string, std::string>;
const Query kChineseQuery = {"SOFTWARE\\vosk\\moonrail", "Loader"};
const Query kDefaultQuery = {"SOFTWARE\\KELDA\\Moonrail", "Destination"};

class InstallFolderTest : public ::testing::Test {
 protected:
  InstallFolderTest() { g_installFolder = "stale"; }
  ~InstallFolderTest() override { g_installFolder.clear(); }

  void Lookup() { LookupInstallFolder(fake.Get(), kWindow); }

  CFakePlatform fake;
};

// A registry that fails the query after writing into the buffer, as a query with too
// small a buffer does.
class CScribblingSettings : public CSettings {
 public:
  bool ReadMachineString(const std::string&, const std::string&, char* buffer,
                         uint32_t size) override {
    std::memset(buffer, 'Z', size);
    std::memcpy(buffer, "D:\\partial\\", 11);
    return false;
  }
  uint16_t SystemDefaultLangId() override { return 0x0409; }
};

}  // namespace

TEST(FolderOfRegistryValueTest, KeepsTheDriveAndTheFolderUpToTheLastSeparator) {
  const struct {
    const char* value;
    const char* folder;
  } kRows[] = {
      // Every example of the documented rule.
      {"D:\\Games\\Game\\Start.exe", "D:\\Games\\Game\\"},
      {"D:\\Games\\Game\\", "D:\\Games\\Game\\"},
      {"D:\\Games\\Game", "D:\\Games\\"},
      {"D:/Games/Game/Start.exe", "D:/Games/Game/"},
      {"\\\\host\\share\\Game\\Start.exe", "\\\\host\\share\\Game\\"},
      {"Start.exe", ""},
      {"D:Start.exe", "D:"},
      // And the corners around it.
      {"C:\\", "C:\\"},
      {"C:", "C:"},
      {"", ""},
      {"D:\\Games/Game\\Start.exe", "D:\\Games/Game\\"},
      {"Games\\Start.exe", "Games\\"},
      {"/opt/game/start", "/opt/game/"},
      {"D:\\Game.v2\\Start", "D:\\Game.v2\\"},
      {"1:\\x", "1:\\"},
      {":\\x", ":\\"},
  };
  for (const auto& row : kRows) {
    EXPECT_EQ(FolderOfRegistryValue(row.value), row.folder) << '"' << row.value << '"';
  }
}

TEST(FolderOfChosenPathTest, AppendsOneBackslashWhateverThePathEndsWith) {
  EXPECT_EQ(FolderOfChosenPath("D:\\Games\\Game"), "D:\\Games\\Game\\");
  EXPECT_EQ(FolderOfChosenPath("C:\\"), "C:\\\\");
  EXPECT_EQ(FolderOfChosenPath("/home/player/game"), "/home/player/game\\");
  EXPECT_EQ(FolderOfChosenPath(""), "");
}

TEST_F(InstallFolderTest, LanguageChoosesTheRegistryLocation) {
  const struct {
    uint16_t langId;
    Query query;
  } kRows[] = {
      {2052, kChineseQuery},   {0x0409, kDefaultQuery},  // English (United States)
      {0x0404, kDefaultQuery},                           // Chinese (Taiwan)
      {0x0c04, kDefaultQuery},                           // Chinese (Hong Kong)
      {0x1004, kDefaultQuery},                           // Chinese (Singapore)
      {0x0004, kDefaultQuery},                           // Chinese, neutral
      {0x0000, kDefaultQuery},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.langId);
    CFakePlatform local;
    local.settings.langId = row.langId;
    local.settings.values[kChineseQuery] = "C:\\CN\\Loader.exe";
    local.settings.values[kDefaultQuery] = "D:\\Other\\Start.exe";
    LookupInstallFolder(local.Get(), kWindow);
    ASSERT_EQ(local.settings.queries, std::vector<Query>{row.query});
    EXPECT_EQ(g_installFolder, row.query == kChineseQuery ? "C:\\CN\\" : "D:\\Other\\");
    EXPECT_TRUE(local.ui.FolderTitles().empty());
  }
}

TEST_F(InstallFolderTest, RegistryValueIsSplitAndTheBrowserNeverShown) {
  fake.settings.values[kDefaultQuery] = "E:\\Games\\Moon\\Start.exe";
  fake.ui.folderAnswer = "F:\\elsewhere";
  Lookup();
  EXPECT_EQ(g_installFolder, "E:\\Games\\Moon\\");
  EXPECT_TRUE(fake.ui.FolderTitles().empty());
}

TEST_F(InstallFolderTest, ValueWithoutAFolderLeavesTheFolderEmpty) {
  fake.settings.values[kDefaultQuery] = "Start.exe";
  fake.ui.folderAnswer = "F:\\elsewhere";
  Lookup();
  EXPECT_EQ(g_installFolder, "");
  EXPECT_TRUE(fake.ui.FolderTitles().empty());
}

TEST_F(InstallFolderTest, MissingValueOrTheMarkerItselfAsksWithTheFolderBrowser) {
  const struct {
    const char* what;
    bool hasValue;
    const char* value;
  } kCases[] = {
      {"no value", false, ""},
      {"value reads \"empty\"", true, "empty"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    CFakePlatform local;
    if (c.hasValue) local.settings.values[kDefaultQuery] = c.value;
    local.ui.folderAnswer = "C:\\";
    LookupInstallFolder(local.Get(), kWindow);
    EXPECT_EQ(local.ui.FolderTitles(), std::vector<std::string>{"Select Directory"});
    EXPECT_EQ(g_installFolder, "C:\\\\");
  }
}

TEST_F(InstallFolderTest, ValueThatOnlyStartsLikeTheMarkerIsAValue) {
  fake.settings.values[kDefaultQuery] = "emptyfolder\\Start.exe";
  Lookup();
  EXPECT_EQ(g_installFolder, "emptyfolder\\");
  EXPECT_TRUE(fake.ui.FolderTitles().empty());
}

TEST_F(InstallFolderTest, CancelledBrowserLeavesTheFolderEmpty) {
  fake.ui.folderAnswer = "";
  Lookup();
  EXPECT_EQ(fake.ui.FolderTitles().size(), 1u);
  EXPECT_EQ(g_installFolder, "");
}

TEST_F(InstallFolderTest, ValueThatFillsTheWholeBufferIsNotUsed) {
  // 1024 bytes and more: the buffer holds no terminator.
  fake.settings.values[kDefaultQuery] = "D:\\" + std::string(1100, 'x') + "\\Start.exe";
  fake.ui.folderAnswer = "G:\\Game";
  Lookup();
  EXPECT_EQ(g_installFolder, "G:\\Game\\");
  EXPECT_TRUE(fake.trace.Contains("too long")) << fake.trace.Dump();

  // 1023 bytes still fit with their terminator.
  CFakePlatform local;
  const std::string fits = "D:\\" + std::string(1010, 'y') + "\\Start.exe";
  ASSERT_EQ(fits.size(), 1023u);
  local.settings.values[kDefaultQuery] = fits;
  LookupInstallFolder(local.Get(), kWindow);
  EXPECT_EQ(g_installFolder, "D:\\" + std::string(1010, 'y') + "\\");
}

TEST_F(InstallFolderTest, FailedQueryCountsAsNoValueWhateverItLeftInTheBuffer) {
  CScribblingSettings settings;
  CPlatform platform = fake.Get();
  platform.settings = &settings;
  fake.ui.folderAnswer = "H:\\Picked";
  LookupInstallFolder(platform, kWindow);
  EXPECT_EQ(g_installFolder, "H:\\Picked\\");
}

TEST_F(InstallFolderTest, RunWithoutAFolderFailsAfterAskingTheBrowser) {
  // The lookup as the run drives it: no registry value, the user cancels.
  fake.ui.folderAnswer = "";
  CPatchRun run(fake.Get());
  ASSERT_TRUE(run.Start(kWindow, kResultMessage));
  ASSERT_TRUE(fake.ui.WaitForResult());
  run.FinishOrExit(99);
  EXPECT_EQ(fake.ui.FolderTitles(), std::vector<std::string>{"Select Directory"});
  ASSERT_EQ(fake.ui.PostedResults().size(), 1u);
  EXPECT_EQ(fake.ui.PostedResults()[0].wParam, kResultFailed);
  EXPECT_EQ(fake.package.loads, 0);
}
