#include "cli/sample_client.h"

#include <cstring>

namespace {

void PutU32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string U32(uint32_t v) {
  std::string s(4, '\0');
  PutU32(s, 0, v);
  return s;
}

}  // namespace

std::string SampleBytes(size_t n, uint64_t seed) {
  std::string s(n, '\0');
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}

std::string MakeArchive(const std::vector<std::string>& members, uint32_t version) {
  std::string archive(32, '\0');
  std::memcpy(&archive[0], "MRPA", 4);
  PutU32(archive, 4, version);
  PutU32(archive, 8, static_cast<uint32_t>(members.size()));
  std::string records;
  for (size_t i = 0; i < members.size(); ++i) {
    const std::string record = U32(static_cast<uint32_t>(archive.size())) +
                               U32(static_cast<uint32_t>(members[i].size())) + "member" +
                               std::to_string(i);
    records += U32(static_cast<uint32_t>(record.size())) + record;
    archive += members[i];
  }
  PutU32(archive, 20, static_cast<uint32_t>(archive.size()));
  archive += U32(0) + U32(static_cast<uint32_t>(members.size())) +
             U32(static_cast<uint32_t>(12 + records.size())) + records;
  return archive;
}

CSampleClient MakeSampleClient(uint64_t seed) {
  CSampleClient c;
  std::vector<std::string> members;
  for (int i = 0; i < 40; ++i) members.push_back(SampleBytes(3000 + 137 * i, seed * 100 + i));

  // Kept, replaced (other size), dropped and added members.
  std::vector<std::string> changed = members;
  changed[5] = SampleBytes(4500, seed * 100 + 500);
  changed.erase(changed.begin() + 20);
  changed[30] = SampleBytes(100, seed * 100 + 501);
  changed.push_back(SampleBytes(7000, seed * 100 + 502));
  c.oldFiles["char1.pkg"] = MakeArchive(members, 1);
  c.newFiles["char1.pkg"] = MakeArchive(changed, 2);

  std::vector<std::string> reordered(members.rbegin(), members.rend());
  c.oldFiles["data/map2.pkg"] = MakeArchive(members, 1);
  c.newFiles["data/map2.pkg"] = MakeArchive(reordered, 2);

  const std::string sound = MakeArchive({SampleBytes(5000, seed + 7)}, 1);
  c.oldFiles["sound.pkg"] = sound;
  c.newFiles["sound.pkg"] = sound;
  c.newFiles["extra.pkg"] = MakeArchive({SampleBytes(2000, seed + 8)}, 1);
  c.oldFiles["tiny.pkg"] = "tiny old";
  c.newFiles["tiny.pkg"] = "tiny new, still short";

  const std::string exe = SampleBytes(60000, seed + 9);
  c.oldFiles["client.exe"] = exe;
  c.newFiles["client.exe"] = exe.substr(0, 20000) + SampleBytes(900, seed + 10) + exe.substr(20500);
  c.oldFiles["bin/render.dll"] = SampleBytes(30000, seed + 11);
  c.newFiles["bin/render.dll"] = SampleBytes(31000, seed + 12);
  std::string notes;
  for (int i = 0; i < 100; ++i) notes += "line " + std::to_string(i) + " of the notes\r\n";
  c.oldFiles["readme.txt"] = notes;
  c.newFiles["readme.txt"] = notes + "a new line\r\n";
  c.newFiles["docs/new notes.txt"] = "added in the new version\n";
  c.oldFiles["config.ini"] = "[client]\r\n";
  c.newFiles["config.ini"] = "[client]\r\n";
  c.oldFiles["retired.dat"] = "only in the old version";
  return c;
}

void WriteClient(const CTempDir& dir, const std::string& sub,
                 const std::map<std::string, std::string>& files) {
  for (const auto& f : files) dir.Write(sub.empty() ? f.first : sub + "/" + f.first, f.second);
}

std::map<std::string, std::string> ReadClient(const CTempDir& dir, const std::string& sub) {
  std::map<std::string, std::string> files;
  const std::string prefix = sub.empty() ? "" : sub + "/";
  for (const std::string& name : dir.List()) {
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    files[name.substr(prefix.size())] = dir.Read(name);
  }
  return files;
}
