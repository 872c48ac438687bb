// Quarantine and restore on real files: bytes, last-write time and the
// original path survive the round trip; records are listed; a restore never
// overwrites a file that has come back in the meantime.
#include "scanner/quarantine.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "testing/files.h"

namespace zelk::scanner {
namespace {

TEST(Quarantine, MovesFilesAwayAndBackWithBytesTimeAndPath) {
  testing::TempDir dir;
  const char sep = platform::PathSeparator();
  const std::string site = dir.path() + "site" + sep + "up" + sep;
  const std::string jail = dir.path() + "Quarantine";
  ASSERT_TRUE(platform::CreateDirectories(site));
  static const char kBytes[] = "GIF89a\0\xff<?php eval($_POST[1]);";
  const std::string bytes(kBytes, sizeof kBytes - 1);
  const std::string path = site + "x.php;.jpg";
  std::string error;
  ASSERT_TRUE(platform::WriteWholeFile(path, bytes, &error)) << error;
  const std::uint64_t time = 132000000000000000ULL;  // 2019-04-16
  ASSERT_TRUE(platform::SetLastWriteTime(path, time, &error)) << error;
  ASSERT_TRUE(platform::WriteWholeFile(site + "b.asp", "<%eval request(1)%>", &error));

  QuarantineEntry first, second;
  ASSERT_TRUE(
      QuarantineFile(path, jail, {"php_eval_request_input", "script_in_image"}, &first, &error))
      << error;
  ASSERT_TRUE(QuarantineFile(site + "b.asp", jail, {"asp_eval_request_input"}, &second, &error));
  platform::DirEntry e;
  EXPECT_FALSE(platform::FindFile(path, &e));
  EXPECT_EQ(first.id, "q1");
  EXPECT_EQ(second.id, "q2");
  const std::string stored = jail + sep + "q1.bin";
  EXPECT_EQ(testing::FileBytes(stored), bytes);
  ASSERT_TRUE(platform::FindFile(stored, &e));
  EXPECT_EQ(e.last_write_time, time);

  const std::vector<QuarantineEntry> listed = ListQuarantine(jail);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].id, "q1");
  EXPECT_EQ(listed[0].original_path, path);
  EXPECT_EQ(listed[0].size, bytes.size());
  EXPECT_EQ(listed[0].last_write_time, time);
  EXPECT_EQ(listed[0].rules, "php_eval_request_input,script_in_image");
  EXPECT_EQ(listed[1].original_path, site + "b.asp");

  ASSERT_TRUE(RestoreFile(jail, listed[0], &error)) << error;
  EXPECT_EQ(testing::FileBytes(path), bytes);
  ASSERT_TRUE(platform::FindFile(path, &e));
  EXPECT_EQ(e.last_write_time, time);
  EXPECT_EQ(ListQuarantine(jail).size(), 1u);

  // A file that came back meanwhile is never overwritten.
  ASSERT_TRUE(platform::WriteWholeFile(site + "b.asp", "new", &error));
  EXPECT_FALSE(RestoreFile(jail, listed[1], &error));
  EXPECT_EQ(testing::FileBytes(site + "b.asp"), "new");
  EXPECT_EQ(testing::FileBytes(jail + sep + "q2.bin"), "<%eval request(1)%>");
  EXPECT_FALSE(QuarantineFile(site + "missing.asp", jail, {}, &first, &error));
}

}  // namespace
}  // namespace zelk::scanner
