#include "package/embedded_package.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/temp_dir.h"

TEST(EmbeddedTrailer, RoundTripsAndRefusesWhatDoesNotFit) {
  uint8_t trailer[kEmbeddedTrailerSize];
  EncodeEmbeddedTrailer(trailer, 1000);
  uint64_t offset = 0;
  uint64_t size = 0;
  ASSERT_TRUE(DecodeEmbeddedTrailer(trailer, 5016, &offset, &size));
  EXPECT_EQ(size, 1000u);
  EXPECT_EQ(offset, 4000u);
  EXPECT_TRUE(DecodeEmbeddedTrailer(trailer, 1016, &offset, &size));
  EXPECT_EQ(offset, 0u);
  EXPECT_FALSE(DecodeEmbeddedTrailer(trailer, 1015, &offset, &size));  // claims too much
  trailer[15] ^= 1;
  EXPECT_FALSE(DecodeEmbeddedTrailer(trailer, 5016, &offset, &size));  // no magic
}

TEST(FilePackageSource, MapsTheWholeFileInPlace) {
  CTempDir dir;
  dir.Write("p.bin", "package bytes");
  auto source = NewFilePackageSource(dir.Path("p.bin"));
  const uint8_t* data = nullptr;
  uint64_t size = 0;
  ASSERT_EQ(source->Load(&data, &size), CPackageSource::EFind::kLoaded);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), "package bytes");
  EXPECT_EQ(source->Describe(), dir.Path("p.bin"));
}

TEST(FilePackageSource, MissingFileIsNoPackage) {
  CTempDir dir;
  auto source = NewFilePackageSource(dir.Path("none"));
  const uint8_t* data = nullptr;
  uint64_t size = 0;
  EXPECT_EQ(source->Load(&data, &size), CPackageSource::EFind::kMissing);
}

TEST(EmbeddedPackageSource, TheTestBinaryCarriesNoPackage) {
  auto source = NewEmbeddedPackageSource();
  const uint8_t* data = nullptr;
  uint64_t size = 0;
  EXPECT_EQ(source->Load(&data, &size), CPackageSource::EFind::kMissing);
}
