#pragma once

// A test fixture that applies a package built from test entries to a real temporary
// install folder, with the real file system.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "run/patch_run.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"
#include "support/test_package.h"

class OnDiskApplyTest : public ::testing::Test {
 protected:
  // Loads the package made of `entries` and runs the apply stage on `names`.
  bool Apply(const std::vector<TestEntry>& entries, const std::vector<std::string>& names) {
    fake.package.bytes = BuildTestPackage(entries).bytes;
    run = std::make_unique<CPatchRun>(fake.Get());
    EXPECT_TRUE(run->LoadPackage()) << fake.trace.Dump();
    g_installFolder = dir.path();
    return run->ApplyPatch(names);
  }

  CTempDir dir;
  CFakePlatform fake;  // the real file system
  std::unique_ptr<CPatchRun> run;
};
