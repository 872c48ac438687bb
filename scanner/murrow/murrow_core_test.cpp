// Murrow's portable side: its paths, its settings file and the folder a scan
// starts with, the log lines, and quarantine and restore from the window's
// point of view (the file moves, the log says so, the record leads back).
#include "scanner/murrow/murrow_core.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "platform/profile.h"
#include "testing/files.h"

namespace zelk::scanner::murrow {
namespace {

const std::string kSep(1, platform::PathSeparator());

TEST(MurrowPaths, SitInTheProgramFolderWithTheManagersConfigOneUp) {
  struct Case {
    std::string dir, config;
  } cases[] = {
      {"C:\\ZelkWAF\\Murrow\\", "C:\\ZelkWAF\\Config.ini"},
      {"/opt/zelk/Murrow/", "/opt/zelk/Config.ini"},
      // "\x81\x5c" is one GBK character whose second byte is '\'.
      {"D:\\a\x81\x5c\\Murrow\\", "D:\\a\x81\x5c\\Config.ini"},
      {"D:\\\xb7\xc0\xbb\xf0\xc7\xbd\\Murrow\\", "D:\\\xb7\xc0\xbb\xf0\xc7\xbd\\Config.ini"},
  };
  for (const Case& c : cases) {
    const MurrowPaths p = BuildMurrowPaths(c.dir);
    EXPECT_EQ(p.dir, c.dir);
    EXPECT_EQ(p.log, c.dir + "MurrowLog.txt");
    EXPECT_EQ(p.ini, c.dir + "Murrow.ini");
    EXPECT_EQ(p.rules, c.dir + "rules");
    EXPECT_EQ(p.quarantine, c.dir + "Quarantine");
    EXPECT_EQ(p.manager_config, c.config) << c.dir;
  }
  EXPECT_EQ(BuildMurrowPaths("/x/Murrow").log, "/x/Murrow" + kSep + "MurrowLog.txt");
}

TEST(MurrowSettings, RoundTripAndChooseTheFirstScanFolder) {
  testing::TempDir dir;
  const std::string murrow = dir.path() + "Murrow" + kSep;
  ASSERT_TRUE(platform::CreateDirectories(murrow));
  const MurrowPaths paths = BuildMurrowPaths(murrow);

  // Nothing saved, no Config.ini: the manager's own default monitor folder.
  MurrowSettings s = LoadMurrowSettings(paths.ini);
  EXPECT_EQ(s.ScanDir, "");
  EXPECT_EQ(s.RuleDir, "");
  EXPECT_EQ(InitialScanFolder(paths, s), "D:\\www\\");
  EXPECT_EQ(RuleFolders(paths, s), std::vector<std::string>{paths.rules});

  // The manager's monitor folder, as the manager writes it.
  ASSERT_TRUE(platform::WriteProfileString(dir.path() + "Config.ini", "Config", "MonDir",
                                           "E:\\\xcd\xf8\xd5\xbe\\"));  // 网站
  EXPECT_EQ(InitialScanFolder(paths, s), "E:\\\xcd\xf8\xd5\xbe\\");

  // Saved settings (GBK) come back and win.
  s.ScanDir = "F:\\\xd5\xbe\xb5\xe3\\";  // 站点
  s.RuleDir = "F:\\\xb9\xe6\xd4\xf2";    // 规则
  ASSERT_TRUE(SaveMurrowSettings(paths.ini, s));
  const MurrowSettings back = LoadMurrowSettings(paths.ini);
  EXPECT_EQ(back.ScanDir, s.ScanDir);
  EXPECT_EQ(back.RuleDir, s.RuleDir);
  EXPECT_EQ(InitialScanFolder(paths, back), s.ScanDir);
  EXPECT_EQ(RuleFolders(paths, back), (std::vector<std::string>{paths.rules, s.RuleDir}));
  const std::string text = testing::FileBytes(paths.ini);
  EXPECT_NE(text.find("[Murrow]"), std::string::npos) << text;
  EXPECT_NE(text.find("RuleDir=F:\\\xb9\xe6\xd4\xf2"), std::string::npos) << text;
}

TEST(MurrowLog, LinesNameWhatHappenedAndEndInTheMonitorStamp) {
  const std::string at = "2026-12-09 19:05:07";
  ScanTotals t;
  t.files_scanned = 120;
  t.bytes_scanned = 3 * 1024 * 1024 + 512 * 1024;
  t.infected = 2;
  t.not_scanned = 7;
  t.too_large = 1;
  t.errors = 3;
  ScanTotals stopped = t;
  stopped.cancelled = true;
  QuarantineEntry q;
  q.id = "q4";
  q.original_path = "D:\\www\\up\\1.asp;.jpg";
  q.rules = "asp_eval,script_in_image";
  const struct {
    std::string got, want;
  } cases[] = {
      {ScanStartLine("D:\\www\\", 57, at), "开始扫描 D:\\www\\ [规则57条] 时间:" + at},
      {FindingLine("D:\\www\\a.asp", {"asp_eval", "asp_one_line"}, 20, at),
       "发现Web后门 D:\\www\\a.asp [asp_eval,asp_one_line] 大小:20 时间:" + at},
      {ScanEndLine("D:\\www\\", t, 2.25, at),
       "扫描完成 D:\\www\\ [检查文件120个,3.5MB,发现后门2个,跳过8个,错误3个,用时2.2秒] 时间:" + at},
      {ScanEndLine("D:\\www\\", stopped, 0.5, at).substr(0, 12), "扫描中止 D:\\"},
      {RuleErrorLine({"E:\\r\\bad.yar", 3, "syntax error"}, at),
       "规则错误 E:\\r\\bad.yar:3: syntax error 时间:" + at},
      {NoRulesLine(at), "扫描失败 [没有可用的规则] 时间:" + at},
      {QuarantineLine(q, at),
       "隔离 D:\\www\\up\\1.asp;.jpg [asp_eval,script_in_image] [隔离为q4] 时间:" + at},
      {RestoreLine(q, at), "恢复 D:\\www\\up\\1.asp;.jpg [q4] 时间:" + at},
      {FormatProgress(t), "已检查 120 个文件, 3.5 MB, 发现后门 2 个"},
      {PathUnder("D:\\www\\", "D:\\www\\up\\x.asp"), "up\\x.asp"},
      {PathUnder("/srv/www", "/srv/www" + kSep + "x.php"), "x.php"},
      {PathUnder("D:\\www\\", "D:\\www2\\x.asp"), "D:\\www2\\x.asp"},
      {PathUnder("D:\\www\\", "D:\\www\\"), "D:\\www\\"},
      {FormatSize(0), "0 B"},
      {FormatSize(1023), "1023 B"},
      {FormatSize(1536), "1.5 KB"},
      {FormatSize(5 * 1024 * 1024), "5.0 MB"},
      {FormatStamp({2026, 1, 2, 3, 4, 5}), "2026-01-02 03:04:05"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
  // The texts are GBK bytes in the program.
  EXPECT_EQ(NoRulesLine(at).substr(0, 4), "\xc9\xa8\xc3\xe8");  // 扫描
}

TEST(MurrowQuarantine, MovesTheFindingAwayLogsItAndRestoresIt) {
  testing::TempDir dir;
  const std::string murrow = dir.path() + "Murrow" + kSep;
  const std::string site = dir.path() + "www" + kSep;
  ASSERT_TRUE(platform::CreateDirectories(murrow));
  ASSERT_TRUE(platform::CreateDirectories(site));
  const MurrowPaths paths = BuildMurrowPaths(murrow);
  const std::string shell = site + "x.asp";
  std::string error;
  ASSERT_TRUE(platform::WriteWholeFile(shell, "<%eval request(\"x\")%>", &error)) << error;

  QuarantineEntry e;
  ASSERT_TRUE(QuarantineFinding(paths, shell, {"asp_eval"}, "T1", &e, &error)) << error;
  platform::DirEntry found;
  EXPECT_FALSE(platform::FindFile(shell, &found));
  EXPECT_EQ(testing::FileBytes(paths.quarantine + kSep + e.id + ".bin"), "<%eval request(\"x\")%>");
  const std::vector<QuarantineEntry> listed = ListQuarantine(paths.quarantine);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].original_path, shell);
  EXPECT_EQ(listed[0].rules, "asp_eval");

  // Quarantining what is gone fails and logs nothing.
  QuarantineEntry none;
  EXPECT_FALSE(QuarantineFinding(paths, shell, {"asp_eval"}, "T2", &none, &error));

  ASSERT_TRUE(RestoreQuarantined(paths, listed[0], "T3", &error)) << error;
  EXPECT_EQ(testing::FileBytes(shell), "<%eval request(\"x\")%>");
  EXPECT_TRUE(ListQuarantine(paths.quarantine).empty());
  EXPECT_EQ(testing::FileBytes(paths.log),
            QuarantineLine(e, "T1") + "\r\n" + RestoreLine(e, "T3") + "\r\n");
}

}  // namespace
}  // namespace zelk::scanner::murrow
