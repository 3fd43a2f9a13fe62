// Whole-file entries end to end on a real folder: the package delivers the new file as a
// one-member zip archive, which is unpacked in place, checked and renamed over the
// installed file.

#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "package/coding.h"
#include "apply/on_disk_apply_test.h"
#include "run/patch_run.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"
#include "support/test_package.h"
#include "verify/md5.h"

namespace {

std::string U16(uint16_t v) {
  return std::string{static_cast<char>(v & 0xff), static_cast<char>(v >> 8)};
}
std::string U32(uint32_t v) {
  return U16(static_cast<uint16_t>(v)) + U16(static_cast<uint16_t>(v >> 16));
}

std::string RawDeflate(const std::string& in) {
  z_stream z = {};
  EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&z, static_cast<uLong>(in.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// A zip archive with one deflated member.
std::string OneMemberZip(const std::string& name, const std::string& content) {
  const std::string data = RawDeflate(content);
  const uint32_t crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
  const std::string common = U16(20) + U16(0) + U16(8) + U16(0) + U16(0x21) + U32(crc) +
                             U32(static_cast<uint32_t>(data.size())) +
                             U32(static_cast<uint32_t>(content.size())) +
                             U16(static_cast<uint16_t>(name.size())) + U16(0);
  const std::string local = U32(0x04034b50) + common + name + data;
  const std::string central =
      U32(0x02014b50) + U16(20) + common + U16(0) + U16(0) + U16(0) + U32(0) + U32(0) + name;
  const std::string end = U32(0x06054b50) + U16(0) + U16(0) + U16(1) + U16(1) +
                          U32(static_cast<uint32_t>(central.size())) +
                          U32(static_cast<uint32_t>(local.size())) + U16(0);
  return local + central + end;
}

std::string Md5(const std::string& s) { return DigestBytes(s.data(), s.size()); }

std::string Content(size_t n) {
  std::string s;
  for (size_t i = 0; s.size() < n; ++i) s += "line " + std::to_string(i) + " of the new file\n";
  s.resize(n);
  return s;
}

using WholeFilePatchTest = OnDiskApplyTest;

}  // namespace

// Names that are not archives by the exact ".pkg" rule all go through the zip.
TEST_F(WholeFilePatchTest, DeliveredFileIsUnpackedAndReplacesTheInstalledOne) {
  struct Case {
    const char* name;
    const char* onDisk;
    bool installedBefore;
    bool withDigest;
  };
  const std::vector<Case> cases = {
      {"game.exe", "game.exe", true, true},
      {"readme", "readme", true, false},
      {"SHADERS.PKG", "SHADERS.PKG", true, true},
      {"added.dll", "added.dll", false, true},
      {"bin\\tools/helper.dll", "bin/tools/helper.dll", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CTempDir here;
    const std::string fresh = Content(200000);
    if (c.installedBefore) here.Write(c.onDisk, "old content");
    TestEntry e =
        WholeFileEntry(c.name, OneMemberZip(c.name, fresh), c.withDigest ? Md5(fresh) : "");
    fake.package.bytes = BuildTestPackage({e}).bytes;
    run = std::make_unique<CPatchRun>(fake.Get());
    ASSERT_TRUE(run->LoadPackage());
    g_installFolder = here.path();
    EXPECT_TRUE(run->ApplyPatch({c.name})) << fake.trace.Dump();
    EXPECT_TRUE(here.Read(c.onDisk) == fresh);
    EXPECT_EQ(here.List(), std::vector<std::string>{c.onDisk});  // no ".temp_", no ".zip"
  }
}

TEST_F(WholeFilePatchTest, FileThatFailsItsChecksKeepsTheInstalledOne) {
  const std::string fresh = Content(5000);
  struct Case {
    const char* what;
    std::string zip;
    std::string oldDigest;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"digest of another content", OneMemberZip("game.exe", fresh), Md5("other"),
       "the extracted file's digest is "},
      {"member under another name", OneMemberZip("other.exe", fresh), Md5(fresh),
       "cannot be extracted"},
      {"not a zip archive", "these bytes are not a zip archive at all", "", "cannot be extracted"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dir.Write("game.exe", "old content");
    EXPECT_FALSE(Apply({WholeFileEntry("game.exe", c.zip, c.oldDigest),
                        WholeFileEntry("extra.txt", OneMemberZip("extra.txt", "extra"))},
                       {"game.exe", "extra.txt"}));
    EXPECT_EQ(dir.Read("game.exe"), "old content");
    EXPECT_EQ(dir.Read("extra.txt"), "extra");  // the other entry is still installed
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"extra.txt", "game.exe"}));
    EXPECT_TRUE(fake.trace.Contains("game.exe is not patched: ")) << fake.trace.Dump();
    EXPECT_TRUE(fake.trace.Contains(c.reason)) << fake.trace.Dump();
    std::remove(dir.Path("extra.txt").c_str());
  }
}
