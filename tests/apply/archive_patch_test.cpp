// Archive entries end to end on a real folder: a delta rebuilt from the installed archive
// and the package, verified by its index digest before it replaces the installed archive.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "package/coding.h"
#include "package/package_format.h"
#include "apply/on_disk_apply_test.h"
#include "run/patch_run.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"
#include "support/test_package.h"
#include "verify/md5.h"

namespace {

std::string U32(uint32_t v) {
  std::string s(4, '\0');
  EncodeFixed32(reinterpret_cast<uint8_t*>(&s[0]), v);
  return s;
}

std::string Bytes(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 29 + seed * 101 + i / 251) & 0xff);
  return s;
}

// The index of an archive: a 12-byte head (0, record count, total length) and records.
std::string Index(const std::vector<std::string>& records) {
  std::string body;
  for (const std::string& r : records) body += U32(static_cast<uint32_t>(r.size())) + r;
  return U32(0) + U32(static_cast<uint32_t>(records.size())) +
         U32(static_cast<uint32_t>(12 + body.size())) + body;
}

// A 32-byte archive header pointing at the index.
std::string Header(uint32_t indexOffset, char fill) {
  std::string h(32, fill);
  EncodeFixed32(reinterpret_cast<uint8_t*>(&h[20]), indexOffset);
  return h;
}

// An installed archive (header, members A and B, index) and the entry that turns it into
// a new one (new header, A, a new member C, B, new index) with A and B copied from it.
struct Fixture {
  std::string memberA = Bytes(5000, 1);
  std::string memberB = Bytes(3000, 2);
  std::string memberC = Bytes(700, 3);
  std::string oldIndex = Index({"A", "B"});
  std::string newIndex = Index({"A", "C", "B"});
  std::string oldArchive;
  std::string newArchive;
  TestEntry entry;

  explicit Fixture(const std::string& name) {
    oldArchive = Header(32 + 8000, 'o') + memberA + memberB + oldIndex;
    const std::string newHeader = Header(32 + 8700, 'n');
    newArchive = newHeader + memberA + memberC + memberB + newIndex;
    entry.name = name;
    entry.oldDigest = DigestBytes(oldIndex.data(), oldIndex.size());
    entry.newDigest = DigestBytes(newIndex.data(), newIndex.size());
    entry.blocks = {TestBlock::Package(newHeader), TestBlock::Local(32, 5000),
                    TestBlock::Package(memberC), TestBlock::Local(5032, 3000),
                    TestBlock::Package(newIndex)};
  }
};

using ArchivePatchTest = OnDiskApplyTest;

}  // namespace

TEST_F(ArchivePatchTest, FullArchivePatchEndsWithTheNewBytes) {
  Fixture f("char1.pkg");
  dir.Write("char1.pkg", f.oldArchive);
  EXPECT_TRUE(Apply({f.entry}, {"char1.pkg"})) << fake.trace.Dump();
  const std::string got = dir.Read("char1.pkg");
  ASSERT_EQ(got.size(), f.newArchive.size());
  EXPECT_TRUE(got == f.newArchive);
  EXPECT_EQ(dir.List(), std::vector<std::string>{"char1.pkg"});
  EXPECT_EQ(run->Status().GetText(), "Patch char1.pkg ");
  EXPECT_TRUE(fake.trace.Lines().empty()) << fake.trace.Dump();
}

// Every way a rebuilt archive can be wrong: the installed archive stays as it was, the
// temporary file is gone, the run fails and says why.
TEST_F(ArchivePatchTest, RejectedArchiveLeavesTheInstalledOneUntouched) {
  struct Case {
    const char* what;
    bool installed;
    size_t installedLength;  // of the old archive; 0 = whole
    std::string newDigest;   // "" = the right one
    const char* reason;
  };
  const std::string wrong = DigestBytes("other", 5);
  const std::vector<Case> cases = {
      {"digest differs", true, 0, wrong, "index digest is "},
      {"digest in capitals", true, 0, "upper", "index digest is "},
      {"entry without a new digest", true, 0, "none", "carries no digest"},
      {"installed archive shorter than a local block", true, 6000, "",
       "shorter than the patch expects (2032 bytes)"},
      {"installed archive missing", false, 0, "", "missing or shorter than the patch expects"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f("char1.pkg");
    dir.Write("other.pkg", "bystander");
    std::remove(dir.Path("char1.pkg").c_str());
    std::string installed;
    if (c.installed) {
      installed = c.installedLength ? f.oldArchive.substr(0, c.installedLength) : f.oldArchive;
      dir.Write("char1.pkg", installed);
    }
    if (c.newDigest == "upper") {
      for (char& ch : f.entry.newDigest) ch = static_cast<char>(toupper(ch));
    } else if (c.newDigest == "none") {
      f.entry.newDigest.clear();
    } else if (!c.newDigest.empty()) {
      f.entry.newDigest = c.newDigest;
    }
    const std::string added = "added file";
    EXPECT_FALSE(Apply({f.entry, WholeFileEntry("new.pkg", added)}, {"char1.pkg", "new.pkg"}));
    EXPECT_EQ(dir.Read("char1.pkg"), installed);
    EXPECT_EQ(dir.Exists("char1.pkg"), c.installed);
    EXPECT_FALSE(dir.Exists(".temp_char1.pkg"));
    EXPECT_EQ(dir.Read("new.pkg"), added);  // the other entry is still installed
    EXPECT_TRUE(fake.trace.Contains("char1.pkg is not patched: ")) << fake.trace.Dump();
    EXPECT_TRUE(fake.trace.Contains(c.reason)) << fake.trace.Dump();
    std::remove(dir.Path("new.pkg").c_str());
  }
}
