#include "zip/zip_fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "zip/zip_reader.h"

std::string LoadFixture(const std::string& name) {
  const std::string path = std::string(MRPATCH_ZIP_FIXTURES) + name;
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read the fixture " << path;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string FixtureText(size_t n) {
  std::string out;
  char line[64];
  for (int i = 0; out.size() < n; ++i) {
    std::snprintf(line, sizeof(line), "line %05d of the fixture text\n", i);
    out += line;
  }
  out.resize(n);
  return out;
}

std::string FixtureNoise(uint32_t seed, size_t n) {
  std::string out(n, '\0');
  uint32_t x = seed;
  for (size_t i = 0; i < n; ++i) {
    x = (x * 1103515245u + 12345u) & 0x7fffffffu;
    out[i] = static_cast<char>((x >> 16) & 0xff);
  }
  return out;
}

uint32_t GetU32(const std::string& bytes, size_t offset) {
  return static_cast<uint32_t>(GetU16(bytes, offset)) |
         (static_cast<uint32_t>(GetU16(bytes, offset + 2)) << 16);
}

uint16_t GetU16(const std::string& bytes, size_t offset) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes.at(offset)) |
                               (static_cast<uint8_t>(bytes.at(offset + 1)) << 8));
}

void SetU32(std::string& bytes, size_t offset, uint32_t value) {
  SetU16(bytes, offset, static_cast<uint16_t>(value));
  SetU16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

void SetU16(std::string& bytes, size_t offset, uint16_t value) {
  bytes.at(offset) = static_cast<char>(value & 0xff);
  bytes.at(offset + 1) = static_cast<char>(value >> 8);
}

size_t CentralRecordAt(const std::string& archive, int index) {
  const size_t end = archive.size() - 22;
  size_t pos = end - GetU32(archive, end + 12);
  for (int i = 0; i < index; ++i) {
    pos += 46 + GetU16(archive, pos + 28) + GetU16(archive, pos + 30) + GetU16(archive, pos + 32);
  }
  EXPECT_EQ(GetU32(archive, pos), 0x02014b50u) << "no central record " << index;
  return pos;
}

size_t LocalHeaderAt(const std::string& archive, int index) {
  return GetU32(archive, CentralRecordAt(archive, index) + 42);
}

std::string ReadToEnd(CZipFileReader& reader, int32_t chunk, std::vector<int32_t>* results) {
  std::string out;
  std::vector<char> buffer(static_cast<size_t>(chunk > 0 ? chunk : 1));
  for (;;) {
    const int32_t n = reader.Read(buffer.data(), chunk);
    if (results != nullptr) results->push_back(n);
    if (n <= 0) return out;
    out.append(buffer.data(), static_cast<size_t>(n));
  }
}
