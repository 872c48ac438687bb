#include "filter/eventlog.h"

#include <gtest/gtest.h>

#include <fstream>

#include "filter/testing/request_cases.h"
#include "platform/appendfile.h"

namespace zelk::filter {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;

TEST(FormatLogTimestamp, PadsEveryFieldAndEndsWithASpace) {
  EXPECT_EQ(FormatLogTimestamp({2013, 3, 14, 8, 5, 3}), "2013.03.14 08:05:03 ");
  EXPECT_EQ(FormatLogTimestamp({2026, 12, 31, 23, 59, 59}), "2026.12.31 23:59:59 ");
}

TEST(EventLog, AppendsWholeGbkLinesWithCrLf) {
  TempDir dir;
  const std::string path = dir.path() + "ZelkWAFLog.txt";
  std::ofstream(path, std::ios::binary) << "earlier line\r\n";
  EventLog log;
  log.set_clock([] { return platform::LocalDateTime{2013, 3, 14, 8, 5, 3}; });
  std::string error;
  ASSERT_TRUE(log.Open(path, &error)) << error;
  log.WriteLogLine("10.0.0.5 请求方式非法:PUT");
  // Complete in the file as soon as the call returns, while still open.
  EXPECT_EQ(ReadFileBytes(path),
            "earlier line\r\n2013.03.14 08:05:03 10.0.0.5 "
            "\xC7\xEB\xC7\xF3\xB7\xBD\xCA\xBD\xB7\xC7\xB7\xA8:PUT\r\n");
  log.WriteLogLine("尝试匿名访问:C:\\x.asp");
  log.Close();
  EXPECT_EQ(ReadFileBytes(path).substr(ReadFileBytes(path).rfind("2013")),
            "2013.03.14 08:05:03 \xB3\xA2\xCA\xD4\xC4\xE4\xC3\xFB\xB7\xC3\xCE\xCA:C:\\x.asp\r\n");
}

TEST(EventLog, NeverCreatesTheFile) {
  TempDir dir;
  EventLog log;
  std::string error;
  EXPECT_FALSE(log.Open(dir.path() + "ZelkWAFLog.txt", &error));
  EXPECT_NE(error.find("open"), std::string::npos);
  EXPECT_FALSE(platform::FileExists(dir.path() + "ZelkWAFLog.txt"));
  log.WriteLogLine("nothing happens");  // no file open: no line, no failure
}

TEST(EventLog, ReadersMayOpenTheFileButWritersMayNot) {
  TempDir dir;
  const std::string path = dir.path() + "ZelkWAFLog.txt";
  std::ofstream(path, std::ios::binary);
  EXPECT_TRUE(platform::CanOpenForWriting(path));
  EventLog log;
  std::string error;
  ASSERT_TRUE(log.Open(path, &error));
  EXPECT_TRUE(platform::CanOpenForReading(path));
  EXPECT_FALSE(platform::CanOpenForWriting(path));
  log.Close();
  EXPECT_TRUE(platform::CanOpenForWriting(path));
}

}  // namespace
}  // namespace zelk::filter
