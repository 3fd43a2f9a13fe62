#include "zip/zip_input_stream.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/fake_files.h"

namespace {

std::unique_ptr<CZipInputStream> StreamOver(CFileSystem& files, const std::string& path) {
  std::unique_ptr<CReadableFile> file;
  EXPECT_TRUE(files.OpenRead(path, &file).ok());
  return std::unique_ptr<CZipInputStream>(new CZipInputStream(std::move(file)));
}

TEST(ZipInputStream, ShortReadAtTheEndFailsTheStreamUntilTheNextSeek) {
  CMemoryFileSystem files;
  files.Put("/a", "0123456789");
  auto stream = StreamOver(files, "/a");
  EXPECT_EQ(stream->Size(), 10);

  char buffer[8] = {};
  stream->Seek(6);
  EXPECT_EQ(stream->Read(buffer, 8), 4);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_TRUE(stream->Failed());
  EXPECT_EQ(stream->Read(buffer, 1), 0);
  stream->Skip(-5);  // relative moves do nothing while failed
  EXPECT_EQ(stream->Position(), 10);

  stream->Seek(2);
  EXPECT_FALSE(stream->Failed());
  EXPECT_EQ(stream->Read(buffer, 3), 3);
  EXPECT_EQ(std::string(buffer, 3), "234");
  stream->Skip(2);
  EXPECT_EQ(stream->Read(buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 2), "78");
  EXPECT_EQ(stream->Position(), 9);
}

TEST(ZipInputStream, NegativePositionsFailTheStream) {
  CMemoryFileSystem files;
  files.Put("/a", "0123");
  auto stream = StreamOver(files, "/a");
  stream->Seek(-1);
  EXPECT_TRUE(stream->Failed());
  char c = 'x';
  EXPECT_EQ(stream->Read(&c, 1), 0);

  stream->Seek(1);
  stream->Skip(-2);
  EXPECT_TRUE(stream->Failed());
}

TEST(ZipInputStream, ReadErrorDeliversNothingAndFails) {
  CMemoryFileSystem memory;
  memory.Put("/a", "0123");
  CFaultFileSystem files(memory);
  auto stream = StreamOver(files, "/a");
  files.FailAt(CFaultFileSystem::kRead, 1);
  char buffer[4];
  EXPECT_EQ(stream->Read(buffer, 4), 0);
  EXPECT_TRUE(stream->Failed());
  EXPECT_EQ(stream->Position(), 0);
}

}  // namespace
