#pragma once

// The zip archives in tests/zip/fixtures (made by Info-ZIP zip and Python's zipfile, see
// make_fixtures.py there) and the generators of their entries' contents.

#include <cstdint>
#include <string>
#include <vector>

// The bytes of fixtures/<name>; fails the current test when the file cannot be read.
std::string LoadFixture(const std::string& name);

// Lines "line 00000 of the fixture text\n", numbered from 0, cut at `n` bytes.
std::string FixtureText(size_t n);
// Pseudo-random bytes: x = (x * 1103515245 + 12345) mod 2^31, byte = (x >> 16) & 255.
std::string FixtureNoise(uint32_t seed, size_t n);

// Little-endian fields of an archive, for tests that damage one on purpose.
uint32_t GetU32(const std::string& bytes, size_t offset);
uint16_t GetU16(const std::string& bytes, size_t offset);
void SetU32(std::string& bytes, size_t offset, uint32_t value);
void SetU16(std::string& bytes, size_t offset, uint16_t value);
// Offset of the index-th central record / local header of an archive without a comment.
size_t CentralRecordAt(const std::string& archive, int index);
size_t LocalHeaderAt(const std::string& archive, int index);

class CZipFileReader;
// Reads the open entry of `reader` in reads of `chunk` bytes until a read returns 0 or
// less; returns the bytes delivered and, in `results`, every read's result.
std::string ReadToEnd(CZipFileReader& reader, int32_t chunk,
                      std::vector<int32_t>* results = nullptr);
