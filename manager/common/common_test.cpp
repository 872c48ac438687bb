// The path set, AppendLogLine and the date-time format.
#include <gtest/gtest.h>

#include <filesystem>

#include "manager/common/date_time.h"
#include "manager/common/errors.h"
#include "manager/common/log_line.h"
#include "manager/common/paths.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "testing/files.h"

namespace zelk::manager {
namespace {

using testing::FileBytes;
using testing::TempDir;

TEST(ManagerPaths, AreConcatenationsOfTheManagerFolder) {
  const char s = platform::PathSeparator();
  const std::string home = std::string("C:") + s + "ZelkWAF" + s;
  for (const std::string& given : {home, home.substr(0, home.size() - 1)}) {
    const ManagerPaths p = BuildManagerPaths(given);
    EXPECT_EQ(p.ManagerDir, home);
    EXPECT_EQ(p.FilterDllPath, home + "IIS" + s + "ZelkWAF.dll");
    EXPECT_EQ(p.FilterLogPath, home + "IIS" + s + "ZelkWAFLog.txt");
    EXPECT_EQ(p.FilterIniPath, home + "IIS" + s + "ZelkWAF.ini");
    EXPECT_EQ(p.UrlListPath, home + "IIS" + s + "ZelkWAF.dst");
    EXPECT_EQ(p.ConfigIniPath, home + "Config.ini");
    EXPECT_EQ(p.TamperLogPath, home + "Log" + s + "newlog.txt");
    EXPECT_EQ(p.MonitorLogPath, home + "Log" + s + "newmonlog.txt");
    EXPECT_EQ(p.ScannerLogPath, home + "Murrow" + s + "MurrowLog.txt");
    EXPECT_EQ(p.ScannerRulesDir, home + "Murrow" + s + "rules");
    EXPECT_EQ(p.QuarantineDir, home + "Murrow" + s + "Quarantine");
  }
}

TEST(ManagerPaths, ASecondByteThatLooksLikeABackslashIsNoSeparator) {
  // "\x81\x5c" is one GBK character; the folder name does not end in "\".
  const ManagerPaths p = BuildManagerPaths("C:\\a\x81\x5c");
  EXPECT_EQ(p.ManagerDir, std::string("C:\\a\x81\x5c") + platform::PathSeparator());
}

TEST(ManagerPaths, AFolderFromTheCommandLineIsMadeAbsoluteFirst) {
  TempDir dir;
  const std::string sep(1, platform::PathSeparator());
  const std::string here = dir.path() + "网站";
  ASSERT_TRUE(platform::CreateDirectories(here));
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::u8path(platform::GbkToUtf8(here)));
  const ManagerPaths relative = AbsoluteManagerPaths("管理");
  const ManagerPaths up = AbsoluteManagerPaths(".." + sep + "管理" + sep);
  std::filesystem::current_path(before);
  EXPECT_EQ(relative.ManagerDir, here + sep + "管理" + sep);
  EXPECT_EQ(relative.ConfigIniPath, here + sep + "管理" + sep + "Config.ini");
  EXPECT_EQ(relative.FilterIniPath, BuildManagerPaths(here + sep + "管理").FilterIniPath);
  EXPECT_EQ(up.ManagerDir, dir.path() + "管理" + sep);
  EXPECT_EQ(AbsoluteManagerPaths(dir.path()).TamperLogPath,
            BuildManagerPaths(dir.path()).TamperLogPath);
}

TEST(ManagerPaths, CreatesTheIisAndLogFoldersButNotTheScannersFolder) {
  TempDir dir;
  const ManagerPaths p = BuildManagerPaths(dir.path() + "home");
  CreateManagerFolders(p);
  EXPECT_TRUE(platform::DirectoryExists(p.ManagerDir + "IIS"));
  EXPECT_TRUE(platform::DirectoryExists(p.ManagerDir + "Log"));
  EXPECT_FALSE(platform::DirectoryExists(p.ManagerDir + "Murrow"));
  CreateManagerFolders(p);  // again: nothing to do, nothing fails
  EXPECT_TRUE(platform::DirectoryExists(p.ManagerDir + "Log"));
}

TEST(AppendLogLine, CreatesTheFileAndAppendsCrLfLines) {
  TempDir dir;
  const std::string log = dir.path() + "newlog.txt";
  AppendLogLine("文件已经被删除C:\\a.asp", log);
  AppendLogLine("", log);
  AppendLogLine("second", log);
  EXPECT_EQ(FileBytes(log), "文件已经被删除C:\\a.asp\r\n\r\nsecond\r\n");
}

TEST(AppendLogLine, RaisesAnErrorWhenTheFileCannotBeWritten) {
  TempDir dir;
  EXPECT_THROW(AppendLogLine("x", dir.path() + "missing" + platform::PathSeparator() + "log.txt"),
               ManagerError);
  EXPECT_THROW(AppendLogLine("x", dir.path()), ManagerError);  // a folder
}

TEST(SnapshotDateTime, PrintsFixedWidthFieldsWithTheGivenSeparators) {
  const platform::LocalDateTime t{2024, 3, 7, 9, 5, 2};
  EXPECT_EQ(FormatSnapshotDateTime(t, '/', ':'), "2024/03/07 09:05:02");
  EXPECT_EQ(FormatSnapshotDateTime(t, '-', '.'), "2024-03-07 09.05.02");
  EXPECT_EQ(FormatSnapshotDateTime({1900, 1, 1, 0, 0, 0}, '/', ':'), "1900/01/01 00:00:00");
}

TEST(SnapshotDateTime, ATimeThatCannotBeConvertedIs1900) {
  // Far past anything a calendar conversion accepts on either system.
  const platform::LocalDateTime t = FileTimeToLocalDateTime(0xFFFFFFFFFFFFFFFFULL);
  EXPECT_EQ(FormatSnapshotDateTime(t, '/', ':'), "1900/01/01 00:00:00");
}

}  // namespace
}  // namespace zelk::manager
