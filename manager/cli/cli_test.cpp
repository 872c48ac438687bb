// zelkwaf-manager end to end: the built program run as an administrator's
// script would run it, on a temporary manager folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "platform/codepage.h"
#include "platform/files.h"
#include "testing/files.h"
#include "testing/run_program.h"

namespace {

using zelk::testing::FileBytes;
using zelk::testing::TempDir;
namespace platform = zelk::platform;

using CliRun = zelk::testing::ProgramRun;
using zelk::testing::ShellQuote;

class ManagerCli : public ::testing::Test {
 protected:
  ManagerCli() {
    platform::CreateDirectories(home_);
    platform::CreateDirectories(site_);
  }
  // Runs the program on the test's manager folder; args are already quoted.
  CliRun Manager(const std::string& args, const std::string& locale = "C.UTF-8") {
    return zelk::testing::RunProgram(
        ZELKWAF_MANAGER_EXE, "--home " + ShellQuote(home_) + " " + args, dir_.path(), locale);
  }
  std::string Make(const std::string& gbk_name, const std::string& bytes = "x") {
    std::string error;
    EXPECT_TRUE(platform::WriteWholeFile(site_ + gbk_name, bytes, &error)) << error;
    return site_ + gbk_name;
  }
  static std::string Utf8(const std::string& gbk) { return platform::GbkToUtf8(gbk); }

  TempDir dir_;
  const std::string home_ = dir_.path() + "home/";
  const std::string site_ = dir_.path() + "site/";
  const std::string snap_ = dir_.path() + "snap.txt";
};

TEST_F(ManagerCli, EveryCommandHasHelp) {
  for (const char* args : {"--help", "settings --help", "whitelist --help", "snapshot --help",
                           "check --help", "compare --help"}) {
    const CliRun r = Manager(args);
    EXPECT_EQ(r.exit_code, 0) << args << ": " << r.err;
    EXPECT_NE(r.out.find(u8"用法: zelkwaf-manager"), std::string::npos) << args << ": " << r.out;
  }
}

TEST_F(ManagerCli, BadUsageExitsTwoWithAClearMessage) {
  const struct {
    const char* args;
    const char* message;
  } cases[] = {
      {"", u8"缺少命令"},
      {"frobnicate", u8"未知的命令: frobnicate"},
      {"settings set NoSuchKey=1", u8"未知的键: NoSuchKey"},
      {"settings set SqlGet=yes", u8"SqlGet 的值只能是 0 或 1"},
      {"settings set ChkType=9", u8"ChkType 的值应为 -1 到 4 之间的整数"},
      {"settings set SqlGet", u8"应为 键=值"},
      {"whitelist frob", u8"未知的 whitelist 子命令"},
      {"whitelist del /none.asp", u8"白名单中没有这一行: /none.asp"},
      {"snapshot --max-size 7M", u8"文件最大大小无效: 7M"},
      {"snapshot --overwrite --append", u8"只能选一个"},
      {"snapshot --dir", u8"--dir 需要一个目录"},
      {"check --snapshot /nonexistent/snap.txt", "Cannot open file \"/nonexistent/snap.txt\""},
      {"compare one.txt", u8"compare 需要两个快照文件"},
  };
  for (const auto& c : cases) {
    const CliRun r = Manager(c.args);
    EXPECT_EQ(r.exit_code, 2) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
  }
  // A rejected settings set writes nothing, not even its valid keys.
  EXPECT_EQ(Manager("settings set IsRun=1 SqlGet=yes").exit_code, 2);
  platform::DirEntry e;
  EXPECT_FALSE(platform::FindFile(home_ + "Config.ini", &e));
  EXPECT_FALSE(platform::FindFile(home_ + "IIS/ZelkWAF.ini", &e));
}

TEST_F(ManagerCli, ANonexistentHomeIsAnInputError) {
  const std::string cmd = ShellQuote(ZELKWAF_MANAGER_EXE) + " --home " +
                          ShellQuote(dir_.path() + "none") + " settings >/dev/null 2>&1";
  const int status = std::system(cmd.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 2);
}

TEST_F(ManagerCli, FileErrorsShowChinesePathsConvertedOnce) {
  // A manager folder with a Chinese name whose white list and snapshot are
  // folders, so that reading them fails.
  const std::string home = dir_.path() + "管理/";
  const std::string list = home + "IIS/ZelkWAF.dst";
  const std::string snapshot = dir_.path() + "快照";
  ASSERT_TRUE(platform::CreateDirectories(list));
  ASSERT_TRUE(platform::CreateDirectories(snapshot));
  const auto expected = [](const std::string& path) {
    return "zelkwaf-manager: Cannot open file \"" + path +
           "\". read failed (21): Is a directory: " + path + "\n";
  };
  const struct {
    const char* command;
    std::string path;
    bool path_is_argument;
  } cases[] = {
      {"whitelist list", list, false},
      {"check --snapshot", snapshot, true},
  };
  for (const auto& c : cases) {
    // In a UTF-8 locale the paths are typed and shown in UTF-8; without one
    // the GBK bytes are passed and printed as they stand.
    for (const bool utf8 : {true, false}) {
      const auto typed = [&](const std::string& gbk) { return utf8 ? Utf8(gbk) : gbk; };
      std::string args = "--home " + ShellQuote(typed(home)) + " " + c.command;
      if (c.path_is_argument) args += " " + ShellQuote(typed(c.path));
      const CliRun r =
          zelk::testing::RunProgram(ZELKWAF_MANAGER_EXE, args, dir_.path(), utf8 ? "C.UTF-8" : "C");
      EXPECT_EQ(r.exit_code, 2) << c.command;
      EXPECT_EQ(r.err, typed(expected(c.path))) << c.command;
    }
  }
}

TEST_F(ManagerCli, SettingsListsEveryKeyWithItsEffectiveValue) {
  const CliRun r = Manager("settings");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(
      r.out,
      "[ZelkWAF]\nDenyShell=1\nDenyPutMethod=1\nDenyIISVER=1\nAnonymousLogin=1\nSqlGet="
      "1\nSqlCookie=1\n"
      "SqlPost=1\nDenyMultiDown=1\nDeny403Err=1\nDeny500Err=1\nDenyFileExtDown=1\nWirteLog=1\n"
      "LearnMode=0\nSqlGetValue=\nSqlCookieValue=\nSqlPostValue=\n"
      "DenyFileExtDownValue=.mdb|.inc|.bak|.asa|.cer|.cdx|\n"
      "[Config]\nDelNewFile=0\nMonType=0\nMonDir=D:\\www\\\nChkDir=D:\\\nChkLog=D:\\log."
      "txt\nChkType=0\n"
      "ChkSizeNum=0\nIsRun=0\nIsMon=0\nSkin=1\n");
  platform::DirEntry e;
  EXPECT_FALSE(platform::FindFile(home_ + "Config.ini", &e));  // listing creates nothing
}

TEST_F(ManagerCli, SettingsSetWritesGbkFilesAndListsUtf8) {
  const CliRun r = Manager(std::string("settings set learnmode=1 ") +
                           ShellQuote(u8"MonDir=E:\\网站\\") + " Skin=0");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string config = FileBytes(home_ + "Config.ini");
  EXPECT_NE(config.find("\r\nMonDir=E:\\网站\\\r\n"), std::string::npos);  // GBK bytes in the file
  EXPECT_NE(config.find("\r\nSkin=0\r\n"), std::string::npos);
  EXPECT_NE(FileBytes(home_ + "IIS/ZelkWAF.ini").find("\r\nLearnMode=1\r\n"), std::string::npos);
  const CliRun list = Manager("settings");
  EXPECT_NE(list.out.find(u8"\nMonDir=E:\\网站\\\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("\nLearnMode=1\n"), std::string::npos);
  // On a terminal without UTF-8 the GBK bytes are printed as they stand.
  EXPECT_NE(Manager("settings", "C").out.find("\nMonDir=E:\\网站\\\n"), std::string::npos);
}

TEST_F(ManagerCli, WhitelistAddListAndDelete) {
  ASSERT_EQ(Manager("whitelist add /b.asp").exit_code, 0);
  ASSERT_EQ(Manager(std::string("whitelist add ") + ShellQuote(u8"/后台/a.asp")).exit_code, 0);
  ASSERT_EQ(Manager("whitelist add /b.asp").exit_code, 0);
  EXPECT_EQ(FileBytes(home_ + "IIS/ZelkWAF.dst"), "/b.asp\r\n/后台/a.asp\r\n/b.asp\r\n");
  EXPECT_EQ(Manager("whitelist list").out, u8"/b.asp\n/后台/a.asp\n/b.asp\n");
  ASSERT_EQ(Manager("whitelist del /b.asp").exit_code, 0);
  EXPECT_EQ(FileBytes(home_ + "IIS/ZelkWAF.dst"), "/后台/a.asp\r\n/b.asp\r\n");
}

TEST_F(ManagerCli, SnapshotThenCheckThenCompare) {
  const std::string a = Make("a.asp");
  const std::string cn = Make("新建.asp");
  Make("skip.txt");
  const std::string opts =
      "--dir " + ShellQuote(site_) + " --out " + ShellQuote(snap_) + " --types '*.asp'";
  CliRun r = Manager("snapshot " + opts);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, u8"提取完成,共提取文件信息 2 条.\n");
  EXPECT_NE(FileBytes(snap_).find("新建.asp,1,"), std::string::npos);  // GBK in the file

  // Exists, no flag, not on a terminal: refused, file untouched.
  const std::string before = FileBytes(snap_);
  r = Manager("snapshot " + opts);
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("--overwrite"), std::string::npos) << r.err;
  EXPECT_EQ(FileBytes(snap_), before);
  EXPECT_EQ(Manager("snapshot --append " + opts).exit_code, 0);
  EXPECT_EQ(FileBytes(snap_), before + before);
  EXPECT_EQ(Manager("snapshot --overwrite " + opts).exit_code, 0);
  EXPECT_EQ(FileBytes(snap_), before);

  r = Manager("check --snapshot " + ShellQuote(snap_));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, u8"校验完成,共发现文件被篡改 0 个.\n");

  std::string error;
  ASSERT_TRUE(platform::RemoveFile(cn, &error));
  r = Manager("check --snapshot " + ShellQuote(snap_));
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_EQ(r.out, Utf8("文件已经被删除" + cn) + "\n" + u8"校验完成,共发现文件被篡改 1 个.\n");
  EXPECT_EQ(FileBytes(home_ + "Log/newlog.txt"), "文件已经被删除" + cn + "\r\n");

  const std::string newer = dir_.path() + "newer.txt";
  Make("b.asp");
  ASSERT_EQ(Manager("snapshot --dir " + ShellQuote(site_) + " --out " + ShellQuote(newer) +
                    " --types '*.asp'")
                .exit_code,
            0);
  r = Manager("compare " + ShellQuote(newer) + " " + ShellQuote(snap_));
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_EQ(r.out, u8"新建的文件" + site_ + "b.asp\n");
  r = Manager("compare " + ShellQuote(snap_) + " " + ShellQuote(snap_));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, u8"快照文件对比完成未发现可疑项\n");
  (void)a;
}

TEST_F(ManagerCli, SnapshotAndCheckTakeTheirDefaultsFromConfigIni) {
  Make("a.php");
  Make("b.asp");
  ASSERT_EQ(Manager("settings set ChkDir=" + ShellQuote(site_) + " ChkLog=" + ShellQuote(snap_) +
                    " ChkType=1")
                .exit_code,
            0);
  const CliRun r = Manager("snapshot");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, u8"提取完成,共提取文件信息 1 条.\n");  // *.php only
  EXPECT_EQ(FileBytes(snap_).rfind(site_ + "a.php,1,", 0), 0u);
  EXPECT_EQ(Manager("check").exit_code, 0);
}

}  // namespace
