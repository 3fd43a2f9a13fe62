#include "cli/progress_display.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "cli/json_text.h"

namespace {

TEST(ProgressLine, ShowsBarPercentBytesSpeedAndStatus) {
  struct Case {
    uint32_t done;
    uint32_t total;
    double seconds;
    const char* status;
    size_t width;
    const char* expected;
  } cases[] = {
      {0, 0, 0.0, "Creating PatchData....", 200,
       "[........................]   0%  0 B / 0 B  Creating PatchData...."},
      {512, 1024, 1.0, "Patch char1.pkg ", 200,
       "[############............]  50%  512 B / 1.00 KiB  512 B/s  Patch char1.pkg"},
      {3u << 20, 3u << 20, 2.0, "", 200,
       "[########################] 100%  3.00 MiB / 3.00 MiB  1.50 MiB/s"},
      // More done than total (already patched entries) never shows past 100 %.
      {200, 100, 0.0, "x", 200, "[########################] 100%  200 B / 100 B  x"},
      // Only the first line of the status, cut to the terminal's width.
      {1, 3, 0.0, "first\nsecond", 200, "[########................]  33%  1 B / 3 B  first"},
      {1, 3, 0.0, "a long status text", 40, "[########................]  33%  1 B / 3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatProgressLine(c.done, c.total, c.seconds, c.status, c.width), c.expected);
  }
}

TEST(ProgressLine, BytesInBinaryUnits) {
  EXPECT_EQ(FormatBytes(0), "0 B");
  EXPECT_EQ(FormatBytes(1023), "1023 B");
  EXPECT_EQ(FormatBytes(1536), "1.50 KiB");
  EXPECT_EQ(FormatBytes(50u << 20), "50.0 MiB");
  EXPECT_EQ(FormatBytes(uint64_t{300} << 30), "300 GiB");
}

std::string ReadAll(FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string s;
  char buffer[256];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) s.append(buffer, n);
  return s;
}

TEST(ProgressDisplay, TraceLinesAndQuestionsClearTheBarFirst) {
  FILE* bar = std::tmpfile();
  FILE* trace = std::tmpfile();
  ASSERT_NE(bar, nullptr);
  ASSERT_NE(trace, nullptr);
  {
    CProgressDisplay display(bar, trace, 80);
    display.Update(1, 2, 0.0, "one");
    display.Line("To Compare File Start ..");
    display.Pause();
    display.Update(2, 2, 0.0, "hidden while a question is open");
    display.Resume();
    display.Update(2, 2, 0.0, "two");
    display.Finish();
    EXPECT_EQ(display.LastLine(), "To Compare File Start ..");
  }
  const std::string erase = "\r\033[K";
  EXPECT_EQ(ReadAll(trace), "To Compare File Start ..\n");
  const std::string line1 = FormatProgressLine(1, 2, 0.0, "one", 79);
  const std::string line2 = FormatProgressLine(2, 2, 0.0, "two", 79);
  EXPECT_EQ(ReadAll(bar), erase + line1 + erase + erase + line2 + "\n");
  std::fclose(bar);
  std::fclose(trace);
}

TEST(ProgressDisplay, WithoutABarOnlyTraceLinesAreWritten) {
  FILE* trace = std::tmpfile();
  ASSERT_NE(trace, nullptr);
  CProgressDisplay display(nullptr, trace, 80);
  display.Update(1, 2, 1.0, "status");
  display.Line("a trace line");
  display.Pause();
  display.Finish();
  EXPECT_EQ(ReadAll(trace), "a trace line\n");
  std::fclose(trace);
}

TEST(JsonText, EscapesWhatJsonRequires) {
  struct Case {
    std::string bytes;
    std::string json;
  } cases[] = {
      {"char1.pkg", "\"char1.pkg\""},
      {"data\\x \"y\"", "\"data\\\\x \\\"y\\\"\""},
      {"a\nb\tc\x01", "\"a\\nb\\tc\\u0001\""},
      {"caf\xC3\xA9", "\"caf\xC3\xA9\""},             // valid UTF-8 passes through
      {"\xB1\xDB\xC7", "\"\\u00b1\\u00db\\u00c7\""},  // a legacy code page
      {"\xE2\x82", "\"\\u00e2\\u0082\""},             // a cut sequence
      {"\xED\xA0\x80", "\"\\u00ed\\u00a0\\u0080\""},  // an encoded surrogate
  };
  for (const Case& c : cases) EXPECT_EQ(JsonString(c.bytes), c.json);
}

}  // namespace
