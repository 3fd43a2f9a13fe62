// The run driver: stages in order and exactly one result per run, on every path.

#include "run/patch_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "support/fake_files.h"
#include "support/fake_platform.h"
#include "support/test_package.h"
#include "verify/md5.h"

namespace {

WindowHandle const kWindow = reinterpret_cast<WindowHandle>(0x1234);

class PatchRunTest : public ::testing::Test {
 protected:
  PatchRunTest() { fake.files = &memory; }

  // Starts the run and waits for its result; the run object is finished afterwards.
  void RunToEnd(CPatchRun& run) {
    ASSERT_TRUE(run.Start(kWindow, kResultMessage));
    ASSERT_TRUE(fake.ui.WaitForResult());
    run.FinishOrExit(99);  // must return: the result was posted
    EXPECT_TRUE(run.ResultPosted());
  }

  // Exactly one result, to the window and message that Start was given.
  void ExpectOneResult(uintptr_t wParam) {
    const auto posted = fake.ui.PostedResults();
    ASSERT_EQ(posted.size(), 1u) << fake.trace.Dump();
    EXPECT_EQ(posted[0].window, kWindow);
    EXPECT_EQ(posted[0].message, kResultMessage);
    EXPECT_EQ(posted[0].wParam, wParam);
  }

  CMemoryFileSystem memory;
  CFakePlatform fake;
};

std::vector<uint8_t> ArchivePackage() {
  TestEntry e;
  e.name = "a.pkg";
  e.oldDigest = std::string(32, '0');
  e.newDigest = std::string(32, '1');
  e.blocks = {TestBlock::Package(std::string(32, 'H')), TestBlock::Local(32, 100)};
  return BuildTestPackage({e}).bytes;
}

}  // namespace

TEST_F(PatchRunTest, NoInstallFolderFailsBeforeThePackageIsLoaded) {
  fake.ui.folderAnswer = "";  // the user cancels the folder browser, if asked
  fake.package.bytes = ArchivePackage();
  CPatchRun run(fake.Get());
  RunToEnd(run);
  ExpectOneResult(kResultFailed);
  EXPECT_EQ(fake.package.loads, 0);
  EXPECT_EQ(run.Status().GetText(), "");
  EXPECT_TRUE(g_installFolder.empty());
}

TEST_F(PatchRunTest, MissingPackageFailsWithTheTextUnchanged) {
  fake.package.mode = CPackageSource::EFind::kMissing;
  CPatchRun run(fake.Get());
  run.PresetInstallFolder("/client/");
  RunToEnd(run);
  ExpectOneResult(kResultFailed);
  EXPECT_EQ(g_installFolder, "/client/");
  EXPECT_EQ(fake.package.loads, 1);
  EXPECT_EQ(run.Status().GetText(), "");
}

TEST_F(PatchRunTest, InvalidPackageFailsAndTouchesNoFile) {
  CTestPackage p = BuildTestPackage({WholeFileEntry("..\\outside.dll", "zip")});
  fake.package.bytes = p.bytes;
  memory.Put("/client/game.exe", "old");
  CPatchRun run(fake.Get());
  run.PresetInstallFolder("/client/");
  RunToEnd(run);
  ExpectOneResult(kResultFailed);
  EXPECT_TRUE(fake.trace.Contains("invalid package: entry 0"));
  EXPECT_EQ(run.Status().GetText(), "Creating PatchData....");
  EXPECT_EQ(memory.Paths(), std::vector<std::string>{"/client/game.exe"});
  EXPECT_TRUE(fake.ui.Questions().empty());
}

TEST_F(PatchRunTest, StoppedComparisonFailsWithTheTotalNeverSet) {
  // The installed archive is missing and the user does not answer Yes.
  fake.package.bytes = ArchivePackage();
  CPatchRun run(fake.Get());
  run.PresetInstallFolder("/client/");
  RunToEnd(run);
  ExpectOneResult(kResultFailed);
  EXPECT_EQ(run.Status().GetText(), "Creating PatchData....");
  EXPECT_EQ(run.Status().Total(), 0u);
  EXPECT_EQ(run.Status().GetRatio(), 0.0f);
  EXPECT_TRUE(memory.Paths().empty());
}

TEST_F(PatchRunTest, ThreadThatCannotStartPostsNothing) {
  fake.threads.failStart = true;
  CPatchRun run(fake.Get());
  EXPECT_FALSE(run.Start(kWindow, kResultMessage));
  EXPECT_TRUE(fake.ui.PostedResults().empty());
  EXPECT_FALSE(run.ResultPosted());
}

TEST_F(PatchRunTest, GetProgressSeesTheStatusWhileTheWorkerRuns) {
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  fake.package.onLoad = [&] {
    entered.set_value();
    released.wait();
  };
  fake.package.mode = CPackageSource::EFind::kMissing;
  CPatchRun run(fake.Get());
  run.PresetInstallFolder("/client/");
  ASSERT_TRUE(run.Start(kWindow, kResultMessage));
  entered.get_future().wait();
  float ratio = 1.0f;
  std::string text = "x";
  run.GetProgress(ratio, text);
  EXPECT_EQ(ratio, 0.0f);
  EXPECT_EQ(text, "");
  EXPECT_FALSE(run.ResultPosted());
  release.set_value();
  ASSERT_TRUE(fake.ui.WaitForResult());
  run.FinishOrExit(99);
  ExpectOneResult(kResultFailed);
}

// Quitting while the worker still runs ends the process at once with the given code,
// without destroying anything under the worker.
TEST_F(PatchRunTest, QuitDuringARunEndsTheProcessWithoutWaiting) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::promise<void> entered;
        fake.package.onLoad = [&] {
          entered.set_value();
          std::this_thread::sleep_for(std::chrono::hours(1));
        };
        CPatchRun run(fake.Get());
        run.PresetInstallFolder("/client/");
        if (!run.Start(kWindow, kResultMessage)) std::_Exit(5);
        entered.get_future().wait();
        run.FinishOrExit(0);
        std::_Exit(6);  // not reached
      },
      ::testing::ExitedWithCode(0), "");
}

// A re-run after everything was patched: the archive is at its new version, so it is
// left out and its data counts as done before the apply stage begins.
TEST_F(PatchRunTest, AlreadyPatchedArchiveCountsAsDoneFromTheStart) {
  // An archive whose index (head: 0, 1 record, length 17; one record "x") is the new one.
  std::string archive(32, '\0');
  archive[20] = 32;
  const char index[] = {0, 0, 0, 0, 1, 0, 0, 0, 17, 0, 0, 0, 1, 0, 0, 0, 'x'};
  archive.append(index, sizeof index);
  memory.Put("/client/a.pkg", archive);

  TestEntry e;
  e.name = "a.pkg";
  e.oldDigest = std::string(32, '0');
  e.newDigest = DigestBytes(index, sizeof index);
  e.blocks = {TestBlock::Package(std::string(32, 'H')), TestBlock::Local(32, 100)};
  fake.package.bytes = BuildTestPackage({e}).bytes;

  CPatchRun run(fake.Get());
  run.PresetInstallFolder("/client/");
  RunToEnd(run);
  EXPECT_TRUE(fake.ui.Questions().empty());
  EXPECT_TRUE(fake.trace.Contains("a.pkg is already patched..")) << fake.trace.Dump();
  EXPECT_EQ(run.Status().Total(), 32u);
  EXPECT_EQ(run.Status().Done(), 32u);
  EXPECT_EQ(run.Status().GetRatio(), 1.0f);
  EXPECT_EQ(memory.Get("/client/a.pkg"), archive);
}

namespace {

// An archive: 32-byte header (index offset at byte 20), `member`, then a one-record index.
std::string ArchiveWith(const std::string& member, char headerFill, std::string* index) {
  std::string h(32, headerFill);
  const uint32_t at = static_cast<uint32_t>(32 + member.size());
  for (int i = 0; i < 4; ++i) h[20 + i] = static_cast<char>(at >> (8 * i));
  const std::string record = "rec:" + member.substr(0, 4);
  std::string ix = std::string("\0\0\0\0\1\0\0\0", 8);
  ix += std::string(1, static_cast<char>(12 + 4 + record.size())) + std::string(3, '\0');
  ix += std::string(1, static_cast<char>(record.size())) + std::string(3, '\0') + record;
  *index = ix;
  return h + member + ix;
}

}  // namespace

// The whole run on fakes: comparison, both apply passes and the result, for the outcomes
// that decide between completed and failed.
TEST_F(PatchRunTest, ResultTellsWhetherEveryAcceptedEntryWasInstalled) {
  struct Case {
    const char* what;
    bool installedMatches;  // the installed archive is the version the delta expects
    bool rightNewDigest;    // the rebuilt archive is the version the entry describes
    std::vector<bool> answers;
    uintptr_t result;
    bool archiveReplaced;
  };
  const std::vector<Case> cases = {
      {"everything matches", true, true, {}, kResultCompleted, true},
      {"rebuilt archive fails its digest", true, false, {}, kResultFailed, false},
      {"user leaves the differing archive out", false, true, {true}, kResultCompleted, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CMemoryFileSystem files;
    CFakePlatform platform;
    platform.files = &files;
    platform.ui.answers = c.answers;

    std::string oldIndex, newIndex;
    const std::string body = "member bytes kept from the installed archive";
    const std::string oldArchive = ArchiveWith(body, 'o', &oldIndex);
    const std::string newArchive = ArchiveWith(body, 'n', &newIndex);
    files.Put("/client/a.pkg", c.installedMatches ? oldArchive : "another version");
    files.Put("/client/readme.pkg", "old readme");

    TestEntry archive;
    archive.name = "a.pkg";
    archive.oldDigest = DigestBytes(oldIndex.data(), oldIndex.size());
    archive.newDigest =
        c.rightNewDigest ? DigestBytes(newIndex.data(), newIndex.size()) : DigestBytes("x", 1);
    archive.blocks = {TestBlock::Package(newArchive.substr(0, 32)),
                      TestBlock::Local(32, static_cast<uint32_t>(body.size())),
                      TestBlock::Package(newIndex)};
    platform.package.bytes =
        BuildTestPackage({archive, WholeFileEntry("readme.pkg", "new readme")}).bytes;

    CPatchRun run(platform.Get());
    run.PresetInstallFolder("/client/");
    ASSERT_TRUE(run.Start(kWindow, kResultMessage));
    ASSERT_TRUE(platform.ui.WaitForResult());
    run.FinishOrExit(99);
    const auto posted = platform.ui.PostedResults();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].wParam, c.result) << platform.trace.Dump();

    const std::string expectedArchive =
        c.archiveReplaced ? newArchive : (c.installedMatches ? oldArchive : "another version");
    EXPECT_EQ(files.Get("/client/a.pkg"), expectedArchive);
    EXPECT_EQ(files.Get("/client/readme.pkg"), "new readme");
    EXPECT_EQ(files.Paths(), (std::vector<std::string>{"/client/a.pkg", "/client/readme.pkg"}));
    EXPECT_EQ(run.Status().GetText(), "Patch readme.pkg ");
  }
}

TEST_F(PatchRunTest, EmptyPackageRunsTheApplyStageAndCompletes) {
  fake.package.bytes = BuildTestPackage({}).bytes;
  CPatchRun run(fake.Get());
  run.PresetInstallFolder("/client/");
  RunToEnd(run);
  ExpectOneResult(kResultCompleted);
  EXPECT_EQ(run.Status().GetText(), "Start Patch.....");
  EXPECT_TRUE(memory.Paths().empty());
}
