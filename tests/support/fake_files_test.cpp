#include "support/fake_files.h"

#include <gtest/gtest.h>

TEST(FaultFileSystem, FailsTheNthCallOfAnOperationOnly) {
  CMemoryFileSystem memory;
  CFaultFileSystem faults(memory);
  faults.FailAt(CFaultFileSystem::kAppend, 2);
  std::unique_ptr<CWritableFile> f;
  ASSERT_TRUE(faults.OpenWrite("/d/f", &f).ok());
  EXPECT_TRUE(f->Append("a", 1).ok());
  const CResult second = f->Append("b", 1);
  EXPECT_FALSE(second.ok());
  EXPECT_EQ(second.code(), 28);
  EXPECT_TRUE(f->Append("c", 1).ok());
  EXPECT_TRUE(f->Close().ok());
  EXPECT_EQ(memory.Get("/d/f"), "ac");
  EXPECT_EQ(faults.Calls(CFaultFileSystem::kAppend), 3);
}

TEST(FaultFileSystem, RecordsDeletesReplacesAndMovesInOrder) {
  CMemoryFileSystem memory;
  memory.Put("/d/a", "1");
  memory.Put("/d/b", "2");
  CFaultFileSystem faults(memory);
  faults.FailPath(CFaultFileSystem::kReplace, "locked");
  EXPECT_TRUE(faults.Replace("/d/a", "/d/c").ok());
  EXPECT_FALSE(faults.Replace("/d/b", "/d/locked").ok());
  EXPECT_TRUE(faults.Move("/d/b", "/d/e").ok());
  EXPECT_FALSE(faults.Delete("/d/zzz").ok());
  EXPECT_EQ(faults.Log(), (std::vector<std::string>{"replace /d/a -> /d/c",
                                                    "replace /d/b -> /d/locked",
                                                    "move /d/b -> /d/e", "delete /d/zzz"}));
  EXPECT_EQ(memory.Get("/d/c"), "1");
  EXPECT_EQ(memory.Get("/d/e"), "2");
}

TEST(MemoryFileSystem, MoveRefusesAnExistingTargetAndSeparatorsAreEqual) {
  CMemoryFileSystem memory;
  memory.Put("/c/dir\\x", "x");
  memory.Put("/c/y", "y");
  EXPECT_FALSE(memory.Move("/c/y", "/c/dir/x").ok());
  bool found = false;
  EXPECT_EQ(memory.Get("/c/dir/x", &found), "x");
  EXPECT_TRUE(found);
  EXPECT_TRUE(memory.Replace("/c/y", "/c/dir/x").ok());
  EXPECT_EQ(memory.Get("/c/dir\\x"), "y");
}
