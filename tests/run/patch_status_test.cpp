#include "run/patch_status.h"

#include <gtest/gtest.h>

#include <thread>

#include "run/patch_run.h"
#include "support/fake_platform.h"

TEST(PatchStatus, NewStoreHasRatioZeroAndEmptyText) {
  CPatchStatus status;
  EXPECT_EQ(status.GetRatio(), 0.0f);
  EXPECT_EQ(status.GetText(), "");
}

TEST(PatchStatus, RatioIsZeroBeforeATotalWhateverIsDone) {
  CPatchStatus status;
  status.AddDone(500);
  EXPECT_EQ(status.GetRatio(), 0.0f);
}

TEST(PatchStatus, RatioIsSinglePrecisionAndNotClamped) {
  CPatchStatus status;
  status.SetTotal(100);
  status.AddDone(1);
  EXPECT_EQ(status.GetRatio(), 1.0f / 100.0f);
  status.AddDone(99);
  EXPECT_EQ(status.GetRatio(), 1.0f);
  status.AddDone(50);
  EXPECT_EQ(status.GetRatio(), 1.5f);
}

TEST(PatchStatus, CountersAreConvertedToFloatBeforeDividing) {
  // 470648419 is not exactly representable as a float: both counters round first.
  CPatchStatus status;
  status.SetTotal(470648419u);
  status.AddDone(470648419u - 1);
  const float expected = static_cast<float>(470648418.0) / static_cast<float>(470648419.0);
  EXPECT_EQ(status.GetRatio(), expected);
}

TEST(PatchStatus, DoneWrapsModulo2To32) {
  CPatchStatus status;
  status.AddDone(0xFFFFFFF0u);
  status.AddDone(0x20u);
  EXPECT_EQ(status.Done(), 0x10u);
}

TEST(PatchStatus, TextIsReplacedAndKeptWhole) {
  CPatchStatus status;
  status.SetText("Creating PatchData....");
  status.SetText("Start Patch.....");
  EXPECT_EQ(status.GetText(), "Start Patch.....");
  status.SetText("first\nsecond");
  EXPECT_EQ(status.GetText(), "first\nsecond");
  status.SetText("");
  EXPECT_EQ(status.GetText(), "");
}

TEST(PatchStatus, ReaderNeverSeesAHalfReplacedText) {
  CPatchStatus status;
  const std::string a(4000, 'a');
  const std::string b(3000, 'b');
  status.SetText(a);
  status.SetTotal(1000);
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) {
      status.SetText(i % 2 ? a : b);
      status.AddDone(1);
    }
  });
  for (int i = 0; i < 20000; ++i) {
    const std::string seen = status.GetText();
    ASSERT_TRUE(seen == a || seen == b);
    const float ratio = status.GetRatio();
    ASSERT_GE(ratio, 0.0f);
    ASSERT_LE(ratio, 20.0f);
  }
  writer.join();
  EXPECT_EQ(status.Done(), 20000u);
}

TEST(PatchStatus, GetProgressReplacesTheCallersText) {
  CFakePlatform fake;
  CPatchRun run(fake.Get());
  float ratio = -1.0f;
  std::string text = "stale";
  run.GetProgress(ratio, text);
  EXPECT_EQ(ratio, 0.0f);
  EXPECT_EQ(text, "");
}
