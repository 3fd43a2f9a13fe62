// mrpatch as a user runs it: the real executable in a child process, its exit code, its
// standard output and its standard error (standard input is not a terminal).

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>

#include "cli/file_digests.h"
#include "cli/sample_client.h"
#include "package/package_check.h"
#include "package/package_format.h"
#include "support/temp_dir.h"
#include "support/test_package.h"
#include "verify/md5.h"

namespace {

struct CToolRun {
  int code = -1;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  // Runs `program` with `args` (a shell word list) in the test folder.
  CToolRun Run(const std::string& args, const std::string& program = MRPATCH_CLI_PATH) {
    const std::string command = "cd '" + dir.path() + "' && '" + program + "' " + args +
                                " </dev/null >'" + dir.Path(".out") + "' 2>'" + dir.Path(".err") +
                                "'";
    const int status = std::system(command.c_str());
    CToolRun run;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = dir.Read(".out");
    run.err = dir.Read(".err");
    return run;
  }

  void WritePackage(const std::string& name, const std::vector<uint8_t>& bytes) {
    dir.Write(name, std::string(bytes.begin(), bytes.end()));
  }

  // The sample client in old/ and new/, its package in patch.pkgdata.
  void BuildSample() {
    client = MakeSampleClient(3);
    WriteClient(dir, "old", client.oldFiles);
    WriteClient(dir, "new", client.newFiles);
    const CToolRun r = Run("build --old old --new new -o patch.pkgdata");
    ASSERT_EQ(r.code, 0) << r.err;
  }

  void ExpectNewClient(const std::string& folder) {
    const std::map<std::string, std::string> installed = ReadClient(dir, folder);
    for (const auto& f : client.newFiles) {
      auto it = installed.find(f.first);
      ASSERT_NE(it, installed.end()) << f.first;
      EXPECT_TRUE(it->second == f.second) << f.first << " is not the new version";
    }
  }

  static size_t Lines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  }

  CTempDir dir;
  CSampleClient client;
};

TEST_F(CliTest, UsageErrorsExitWith2) {
  const char* cases[] = {
      "",  // no command and no package carried
      "frobnicate",
      "apply --yes --no",
      "apply --package",
      "apply --install-dir ''",
      "apply extra",
      "inspect",
      "inspect a b",
      "inspect --bogus a",
      "digest",
      "build --old a --new b",
      "build --old a -o c",
      "build --old a --new b -o c --block-size 7",
      "embed --package p",
      "embed -o out",
      "embed --package p -o out stray",
  };
  for (const char* args : cases) {
    SCOPED_TRACE(args);
    const CToolRun r = Run(args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.compare(0, 9, "mrpatch: "), 0) << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(CliTest, HelpForEveryCommandAndVersion) {
  for (const char* command : {"apply", "inspect", "digest", "build", "embed"}) {
    SCOPED_TRACE(command);
    const CToolRun r = Run(std::string(command) + " --help");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.find(std::string("usage: mrpatch ") + command), 0u) << r.out;
  }
  const CToolRun general = Run("--help");
  EXPECT_EQ(general.code, 0);
  EXPECT_NE(general.out.find("embed"), std::string::npos);
  const CToolRun version = Run("--version");
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, std::string("mrpatch ") + MRPATCH_VERSION + "\n");
}

TEST_F(CliTest, InspectListsEveryEntryAsTextAndJson) {
  TestEntry archive;
  archive.name = "data\\char1.pkg";
  archive.oldDigest = "0123456789abcdef0123456789abcdef";
  archive.newDigest = "fedcba9876543210fedcba9876543210";
  archive.blocks = {TestBlock::Package(std::string(32, 'H')), TestBlock::Local(32, 4096),
                    TestBlock::Package("new bytes"), TestBlock::Local(9000, 100)};
  WritePackage("p.pkgdata", BuildTestPackage({archive, WholeFileEntry("readme.txt", "zip")}).bytes);

  const CToolRun text = Run("inspect p.pkgdata");
  EXPECT_EQ(text.code, 0) << text.err;
  EXPECT_NE(text.out.find("2 entries"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("0  data\\char1.pkg\n    kind archive, data 41 bytes, blocks 2 package + "
                          "2 local, new size 4237"),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("old digest 0123456789abcdef0123456789abcdef  new digest "
                          "fedcba9876543210fedcba9876543210"),
            std::string::npos);
  EXPECT_NE(text.out.find("1  readme.txt\n    kind whole-file, data 3 bytes, blocks 1 package + 0 "
                          "local, new size 3"),
            std::string::npos)
      << text.out;

  const CToolRun json = Run("inspect --json p.pkgdata");
  EXPECT_EQ(json.code, 0) << json.err;
  EXPECT_EQ(json.out.find("{\"package\": \"p.pkgdata\", \"size\": "), 0u) << json.out;
  EXPECT_NE(json.out.find("\"valid\": true, \"entryCount\": 2"), std::string::npos);
  EXPECT_NE(json.out.find("{\"index\": 0, \"name\": \"data\\\\char1.pkg\", \"kind\": \"archive\", "
                          "\"dataSize\": 41, \"blockCount\": 4, \"packageBlocks\": 2, "
                          "\"localBlocks\": 2, \"newFileSize\": 4237, "
                          "\"oldDigest\": \"0123456789abcdef0123456789abcdef\", "
                          "\"newDigest\": \"fedcba9876543210fedcba9876543210\"}"),
            std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("\"kind\": \"whole-file\""), std::string::npos);
  EXPECT_EQ(json.out.substr(json.out.size() - 3), "]}\n");
}

TEST_F(CliTest, InspectRefusesAnInvalidPackageWithItsRule) {
  TestEntry archive;
  archive.name = "a.pkg";
  archive.blocks = {TestBlock::Package("header"), TestBlock::Local(0, 10)};
  const CTestPackage valid = BuildTestPackage({archive});
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* rule;
  };
  std::vector<Case> cases;
  cases.push_back({"truncated", {valid.bytes.begin(), valid.bytes.end() - 1}, "past the end"});
  std::vector<uint8_t> trailing = valid.bytes;
  trailing.push_back(0);
  cases.push_back({"trailing byte", trailing, "1 bytes follow the last"});
  std::vector<uint8_t> count = valid.bytes;
  PutU32(count, 0, 2);
  cases.push_back({"entry count too high", count, "entryCount is 2"});
  std::vector<uint8_t> local = valid.bytes;
  local[valid.tableOffsets[0]] = 0;
  cases.push_back({"local block 0", local, "block 0 is not a package block"});
  cases.push_back({"shorter than the count", {1, 0}, "shorter than its 4-byte entry count"});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WritePackage("bad.pkgdata", c.bytes);
    const CPackageCheck check = ValidatePackage(c.bytes.data(), c.bytes.size());
    ASSERT_FALSE(check.ok);
    const CToolRun text = Run("inspect bad.pkgdata");
    EXPECT_EQ(text.code, 1);
    EXPECT_EQ(text.out, "");
    EXPECT_EQ(text.err, "mrpatch: bad.pkgdata: " + check.Describe() + "\n");
    EXPECT_NE(text.err.find(c.rule), std::string::npos) << text.err;
    const CToolRun json = Run("inspect --json bad.pkgdata");
    EXPECT_EQ(json.code, 1);
    EXPECT_NE(json.out.find("\"valid\": false"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find(c.rule), std::string::npos) << json.out;
    EXPECT_EQ(Lines(json.err), 1u);
  }
  const CToolRun missing = Run("inspect absent.pkgdata");
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.err, "mrpatch: absent.pkgdata: cannot open the package\n");
}

TEST_F(CliTest, DigestPrintsTheIndexDigestOfEachArchive) {
  const std::string a = MakeArchive({"first member", "second"}, 1);
  const std::string b = MakeArchive({}, 2);
  dir.Write("a.pkg", a);
  dir.Write("sub/b.pkg", b);
  // The index starts at the u32 at byte 20 and runs to the end.
  auto indexDigest = [](const std::string& archive) {
    const uint32_t at = static_cast<uint8_t>(archive[20]) | static_cast<uint8_t>(archive[21]) << 8;
    return DigestBytes(archive.data() + at, archive.size() - at);
  };
  const CToolRun r = Run("digest a.pkg missing.pkg sub/b.pkg");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, indexDigest(a) + "  a.pkg\n" + indexDigest(b) + "  sub/b.pkg\n");
  EXPECT_EQ(r.err, "mrpatch: missing.pkg: cannot open the file\n");

  const CToolRun ok = Run("digest a.pkg");
  EXPECT_EQ(ok.code, 0);
  EXPECT_EQ(ok.out, indexDigest(a) + "  a.pkg\n");
}

TEST_F(CliTest, BuildThenApplyPatchesTheOldClient) {
  BuildSample();
  const std::vector<uint8_t> package = [&] {
    const std::string s = dir.Read("patch.pkgdata");
    return std::vector<uint8_t>(s.begin(), s.end());
  }();
  EXPECT_TRUE(ValidatePackage(package.data(), package.size()).ok);

  WriteClient(dir, "install", client.oldFiles);
  const CToolRun r = Run("apply --package patch.pkgdata --install-dir install");
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("To Compare File Start .."), std::string::npos) << r.out;
  EXPECT_NE(r.err.find(" Patch is completed."), std::string::npos) << r.err;
  // No terminal: no progress bar.
  EXPECT_EQ(r.err.find('\r'), std::string::npos);
  ExpectNewClient("install");
  EXPECT_FALSE(dir.Exists("install/.temp_char1.pkg"));
}

TEST_F(CliTest, ApplyAnswersTheMismatchQuestionFromItsFlags) {
  BuildSample();
  // The installed char1.pkg is not the version the patch was made against.
  std::map<std::string, std::string> installed = client.oldFiles;
  installed["char1.pkg"] = MakeArchive({"some other version"}, 1);
  struct Case {
    const char* flags;
    int code;
    bool patchedOthers;
  } cases[] = {{"", 1, false}, {"--no", 1, false}, {"--yes", 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    WriteClient(dir, "install", installed);
    const CToolRun r =
        Run(std::string("apply --package patch.pkgdata --install-dir install ") + c.flags);
    EXPECT_EQ(r.code, c.code) << r.out << r.err;
    EXPECT_EQ(dir.Read("install/char1.pkg"), installed["char1.pkg"]);
    EXPECT_EQ(dir.Read("install/client.exe") == client.newFiles["client.exe"], c.patchedOthers);
    if (c.code != 0) {
      EXPECT_NE(r.err.find(" Patch is failed."), std::string::npos) << r.err;
    }
  }
}

TEST_F(CliTest, ApplyNamesWhatIsWrongBeforeItStarts) {
  dir.Write("bad.pkgdata", std::string("\x01\0\0\0", 4));
  dir.Write("install/x", "");
  struct Case {
    const char* args;
    const char* message;
  } cases[] = {
      {"apply --package absent.pkgdata --install-dir install",
       "mrpatch: absent.pkgdata: cannot open the package\n"},
      {"apply --package bad.pkgdata --install-dir install",
       "mrpatch: bad.pkgdata: invalid package: entryCount is 1 but the package holds 0 entries\n"},
      {"apply --package bad.pkgdata --install-dir nowhere",
       "mrpatch: nowhere: no such install folder\n"},
      {"apply --install-dir install",
       "mrpatch: this program carries no package; name one with --package FILE\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const CToolRun r = Run(c.args);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, c.message);
  }
}

TEST_F(CliTest, EmbeddedPatcherAppliesWithoutAPackageArgument) {
  BuildSample();
  const CToolRun embed = Run("embed --package patch.pkgdata -o patcher");
  ASSERT_EQ(embed.code, 0) << embed.err;
  const std::string program = dir.Read("patcher");
  std::ifstream self(MRPATCH_CLI_PATH, std::ios::binary);
  const std::string tool((std::istreambuf_iterator<char>(self)), {});
  const std::string package = dir.Read("patch.pkgdata");
  ASSERT_EQ(program.size(), tool.size() + package.size() + 16);
  EXPECT_TRUE(program.compare(0, tool.size(), tool) == 0);
  EXPECT_TRUE(program.compare(tool.size(), package.size(), package) == 0);

  WriteClient(dir, "install", client.oldFiles);
  const CToolRun r = Run("apply --install-dir install", dir.Path("patcher"));
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  ExpectNewClient("install");

  // A patcher made from a patcher carries only the new package.
  TestEntry entry = WholeFileEntry("readme.txt", "zip bytes");
  WritePackage("small.pkgdata", BuildTestPackage({entry}).bytes);
  const CToolRun again = Run("embed --package small.pkgdata -o patcher2 --program patcher");
  ASSERT_EQ(again.code, 0) << again.err;
  EXPECT_EQ(dir.Read("patcher2").size(), tool.size() + dir.Read("small.pkgdata").size() + 16);
  const CToolRun inspect = Run("inspect --help", dir.Path("patcher2"));
  EXPECT_EQ(inspect.code, 0);
}

TEST_F(CliTest, EmbedRefusesAnInvalidPackage) {
  dir.Write("bad.pkgdata", "xy");
  const CToolRun r = Run("embed --package bad.pkgdata -o patcher");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("bad.pkgdata: invalid package"), std::string::npos) << r.err;
  EXPECT_FALSE(dir.Exists("patcher"));
  EXPECT_FALSE(dir.Exists("patcher.partial"));
}

}  // namespace
