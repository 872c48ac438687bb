// Settings persistence against real files in a temporary folder (natively
// through our profile writer, under Wine through the Windows API).
#include "manager/iis/settings_store.h"

#include <gtest/gtest.h>

#include <fstream>

#include "manager/common/errors.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "testing/fake_ui.h"
#include "testing/files.h"

namespace zelk::manager {
namespace {

using testing::FileBytes;
using testing::TempDir;

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

const char kDefaultFilterFile[] =
    "[ZelkWAF]\r\nDenyShell=1\r\nDenyPutMethod=1\r\nDenyIISVER=1\r\nAnonymousLogin=1\r\nSqlGet="
    "1\r\n"
    "SqlCookie=1\r\nSqlPost=1\r\nDenyMultiDown=1\r\nDeny403Err=1\r\nDeny500Err="
    "1\r\nDenyFileExtDown=1\r\n"
    "WirteLog=1\r\nLearnMode=0\r\nSqlGetValue=\r\nSqlCookieValue=\r\nSqlPostValue=\r\n"
    "DenyFileExtDownValue=.mdb|.inc|.bak|.asa|.cer|.cdx|\r\n";

const char kDefaultConfigFile[] =
    "[Config]\r\nDelNewFile=0\r\nMonType=0\r\nMonDir=D:\\www\\\r\nChkDir=D:\\\r\nChkLog=D:\\log."
    "txt\r\n"
    "ChkType=0\r\nChkSizeNum=0\r\nIsRun=0\r\nIsMon=0\r\nSkin=1\r\n";

TEST(SettingsStore, WithNoFilesEveryKeyHasItsDefaultAndNothingIsCreated) {
  TempDir dir;
  const filter::FilterSettings f = LoadFilterSettings(dir.path() + "ZelkWAF.ini");
  for (const auto& k : filter::kSwitchKeys)
    EXPECT_EQ(f.*k.member, k.name != std::string("LearnMode")) << k.name;
  EXPECT_EQ(f.SqlGetValue, "");
  EXPECT_EQ(f.SqlCookieValue, "");
  EXPECT_EQ(f.SqlPostValue, "");
  EXPECT_EQ(f.DenyFileExtDownValue, ".mdb|.inc|.bak|.asa|.cer|.cdx|");

  const ManagerSettings m = LoadManagerSettings(dir.path() + "Config.ini");
  EXPECT_EQ(MonTypeMask(m.MonType), "*.*p*");
  EXPECT_EQ(m.MonDir, "D:\\www\\");
  EXPECT_EQ(m.ChkDir, "D:\\");
  EXPECT_EQ(m.ChkLog, "D:\\log.txt");
  EXPECT_EQ(ChkTypeMask(m.ChkType), "*.asp,*.asa,*.inc");
  EXPECT_EQ(ChkSizeLimitMiB(m.ChkSizeNum), 1);
  EXPECT_FALSE(m.DelNewFile);
  EXPECT_FALSE(m.IsRun);
  EXPECT_FALSE(m.IsMon);
  EXPECT_TRUE(m.Skin);

  platform::DirEntry e;
  EXPECT_FALSE(platform::FindFile(dir.path() + "ZelkWAF.ini", &e));
  EXPECT_FALSE(platform::FindFile(dir.path() + "Config.ini", &e));
}

TEST(SettingsStore, SavingWritesEveryKeyInPageOrderByteForByte) {
  TempDir dir;
  SaveFilterSettings(dir.path() + "ZelkWAF.ini", filter::FilterSettings{});
  EXPECT_EQ(FileBytes(dir.path() + "ZelkWAF.ini"), kDefaultFilterFile);
  SaveManagerSettings(dir.path() + "Config.ini", ManagerSettings{});
  EXPECT_EQ(FileBytes(dir.path() + "Config.ini"), kDefaultConfigFile);
  // A second save of the same values changes nothing.
  SaveFilterSettings(dir.path() + "ZelkWAF.ini", filter::FilterSettings{});
  EXPECT_EQ(FileBytes(dir.path() + "ZelkWAF.ini"), kDefaultFilterFile);
}

TEST(SettingsStore, EverySavedValueComesBackEvenWithQuotesOrBlanksAtItsEdges) {
  TempDir dir;
  filter::FilterSettings f;
  f.DenyShell = false;
  f.SqlCookie = false;
  f.LearnMode = true;
  f.SqlGetValue = "(select|union)\\s";
  f.SqlCookieValue = "'or'";
  f.SqlPostValue = " x=y\t";
  f.DenyFileExtDownValue = "";
  SaveFilterSettings(dir.path() + "f.ini", f);
  const filter::FilterSettings g = LoadFilterSettings(dir.path() + "f.ini");
  EXPECT_EQ(FilterSettingsAsText(g), FilterSettingsAsText(f));

  ManagerSettings m;
  m.DelNewFile = true;
  m.MonType = -1;
  m.MonDir = "E:\\网站\\";
  m.ChkDir = "E:\\";
  m.ChkLog = "\"E:\\快照.txt\"";
  m.ChkType = 4;
  m.ChkSizeNum = 3;
  m.IsRun = true;
  m.Skin = false;
  SaveManagerSettings(dir.path() + "Config.ini", m);
  EXPECT_EQ(ManagerSettingsAsText(LoadManagerSettings(dir.path() + "Config.ini")),
            ManagerSettingsAsText(m));
}

struct StoredCase {
  const char* stored;  // the text after "KEY="
  bool as_boolean;     // how a boolean key with its default true reads it
  int as_integer;      // how an integer key with its default 0 reads it
};

TEST(SettingsStore, BooleansAndIntegersFollowTheIntegerRule) {
  const StoredCase cases[] = {
      {"1", true, 1},    {"0", false, 0},     {"2", true, 2},   {"0x0", false, 0},
      {"$10", true, 16}, {"0X1f", true, 31},  {"-1", true, -1}, {"yes", true, 0},
      {"true", true, 0}, {"", true, 0},       {"1.5", true, 0}, {"4294967296", true, 0},
      {" 3 ", true, 3},  {"\"0\"", false, 0},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string path = dir.path() + "Config.ini";
    WriteFile(path,
              std::string("[Config]\r\nSkin=") + c.stored + "\r\nChkSizeNum=" + c.stored + "\r\n");
    const ManagerSettings m = LoadManagerSettings(path);
    EXPECT_EQ(m.Skin, c.as_boolean) << "stored [" << c.stored << "]";
    EXPECT_EQ(m.ChkSizeNum, c.as_integer) << "stored [" << c.stored << "]";

    WriteFile(path, std::string("[ZelkWAF]\r\nSqlGet=") + c.stored + "\r\n");
    EXPECT_EQ(LoadFilterSettings(path).SqlGet, c.as_boolean) << "stored [" << c.stored << "]";
  }
}

TEST(SettingsStore, LoadingStoredStatesLeavesTheFileUntouched) {
  TempDir dir;
  const std::string path = dir.path() + "Config.ini";
  const std::string text = "[config]\r\nisrun=1\r\nIsMon=1\n; note\r\nSkin=0\r\n[Other]\r\nx=y\r\n";
  WriteFile(path, text);
  const ManagerSettings m = LoadManagerSettings(path);
  EXPECT_TRUE(m.IsRun);
  EXPECT_TRUE(m.IsMon);
  EXPECT_FALSE(m.Skin);
  EXPECT_EQ(FileBytes(path), text);
}

TEST(SettingsStore, SavingKeepsOtherSectionsOfTheFile) {
  TempDir dir;
  const std::string path = dir.path() + "Config.ini";
  WriteFile(path, "[Window]\r\nLeft=10\r\n[Config]\r\nSkin=0\r\n");
  ManagerSettings m;
  m.Skin = true;
  SaveManagerSettings(path, m);
  EXPECT_EQ(platform::GetProfileString(path, "Window", "Left", ""), "10");
  EXPECT_TRUE(LoadManagerSettings(path).Skin);
}

TEST(SettingsStore, LongTextsComeBackCutTo2047Bytes) {
  TempDir dir;
  const std::string path = dir.path() + "ZelkWAF.ini";
  WriteFile(path, "[ZelkWAF]\r\nSqlGetValue=" + std::string(3000, 'p') + "\r\n");
  EXPECT_EQ(LoadFilterSettings(path).SqlGetValue, std::string(2047, 'p'));
}

TEST(SettingsStore, AKeyThatCannotBeWrittenStopsTheSaveWithTheFilePath) {
  TempDir dir;
  const std::string path = dir.path() + "missing" + platform::PathSeparator() + "ZelkWAF.ini";
  try {
    SaveFilterSettings(path, filter::FilterSettings{});
    FAIL() << "no error";
  } catch (const ManagerError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
  }
}

TEST(SettingsStore, SettingKeysFromTextChecksTheirValues) {
  filter::FilterSettings f;
  ManagerSettings m;
  EXPECT_TRUE(SetFilterSetting(&f, "learnmode", "1"));
  EXPECT_TRUE(f.LearnMode);
  EXPECT_TRUE(SetFilterSetting(&f, "SqlGetValue", "a=b"));
  EXPECT_EQ(f.SqlGetValue, "a=b");
  EXPECT_FALSE(SetFilterSetting(&f, "MonType", "1"));  // a key of the other file
  EXPECT_THROW(SetFilterSetting(&f, "SqlGet", "yes"), ManagerError);
  EXPECT_THROW(SetFilterSetting(&f, "SqlGet", "2"), ManagerError);
  EXPECT_THROW(SetFilterSetting(&f, "SqlGetValue", "a\r\n[ZelkWAF]"), ManagerError);
  EXPECT_THROW(SetFilterSetting(&f, "SqlGetValue", std::string(2048, 'x')), ManagerError);

  EXPECT_TRUE(SetManagerSetting(&m, "ChkType", "4"));
  EXPECT_EQ(m.ChkType, 4);
  EXPECT_TRUE(SetManagerSetting(&m, "MonType", "-1"));
  EXPECT_EQ(m.MonType, -1);
  EXPECT_THROW(SetManagerSetting(&m, "ChkType", "5"), ManagerError);
  EXPECT_THROW(SetManagerSetting(&m, "ChkSizeNum", "0x1"), ManagerError);
  EXPECT_THROW(SetManagerSetting(&m, "MonType", ""), ManagerError);
  EXPECT_TRUE(SetManagerSetting(&m, "chkdir", "E:\\"));
  EXPECT_EQ(m.ChkDir, "E:\\");
  EXPECT_FALSE(SetManagerSetting(&m, "NoSuchKey", "1"));
}

TEST(SettingsStore, DropDownPositionsMapToTheirItems) {
  EXPECT_EQ(MonTypeMask(2), "*.as*,*.cer,*.inc");
  EXPECT_EQ(MonTypeMask(3), "*.*");
  EXPECT_EQ(MonTypeMask(-1), "");
  EXPECT_EQ(MonTypeMask(4), "");
  EXPECT_EQ(ChkTypeMask(3), "*.aspx");
  EXPECT_EQ(ChkSizeLimitMiB(4), 100);
  EXPECT_EQ(ChkSizeLimitMiB(-1), 1);
  EXPECT_EQ(ChkSizeLimitMiB(7), 1);
}

TEST(UrlList, ReadingSplitsAtCrLfOrCrLfAndKeepsEmptyLines) {
  TempDir dir;
  const std::string path = dir.path() + "ZelkWAF.dst";
  const struct {
    const char* text;
    std::vector<std::string> entries;
  } cases[] = {
      {"/a.asp\r\n/b.asp\r\n", {"/a.asp", "/b.asp"}},
      {"/a.asp\n/b.asp", {"/a.asp", "/b.asp"}},
      {"/a.asp\r/b.asp\r", {"/a.asp", "/b.asp"}},
      {"/a.asp\r\n\r\n/b.asp\r\n", {"/a.asp", "", "/b.asp"}},
      {"\r\n", {""}},
      {"", {}},
      {"/a.asp \r\n/后台/管理.asp\r\n", {"/a.asp ", "/后台/管理.asp"}},
  };
  for (const auto& c : cases) {
    WriteFile(path, c.text);
    std::vector<std::string> entries = {"old"};
    EXPECT_TRUE(LoadUrlList(path, &entries));
    EXPECT_EQ(entries, c.entries) << "text [" << c.text << "]";
  }
}

TEST(UrlList, AMissingFileLeavesTheListAsItWas) {
  TempDir dir;
  std::vector<std::string> entries = {"/kept.asp"};
  EXPECT_FALSE(LoadUrlList(dir.path() + "ZelkWAF.dst", &entries));
  EXPECT_EQ(entries, std::vector<std::string>{"/kept.asp"});
}

TEST(UrlList, AnUnreadableFileRaisesCannotOpenFile) {
  TempDir dir;
  ASSERT_TRUE(platform::CreateDirectories(dir.path() + "ZelkWAF.dst"));  // a folder in its place
  std::vector<std::string> entries;
  try {
    LoadUrlList(dir.path() + "ZelkWAF.dst", &entries);
    FAIL() << "no error";
  } catch (const ManagerError& e) {
    EXPECT_EQ(
        std::string(e.what()).rfind("Cannot open file \"" + dir.path() + "ZelkWAF.dst\". ", 0), 0u)
        << e.what();
  }
}

TEST(UrlList, WritingEndsEveryEntryWithCrLfAndAnEmptyListGivesAnEmptyFile) {
  TempDir dir;
  const std::string path = dir.path() + "ZelkWAF.dst";
  SaveUrlList(path, {"", "/admin/add.asp", "/a.asp"});
  EXPECT_EQ(FileBytes(path), "\r\n/admin/add.asp\r\n/a.asp\r\n");
  SaveUrlList(path, {});
  platform::DirEntry e;
  ASSERT_TRUE(platform::FindFile(path, &e));
  EXPECT_EQ(e.size, 0u);
  try {
    SaveUrlList(dir.path() + "no" + platform::PathSeparator() + "x.dst", {"/a"});
    FAIL() << "no error";
  } catch (const ManagerError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"", 0), 0u) << e.what();
  }
}

TEST(UrlList, AddingInsertsFirstAndDeletingNeedsASelection) {
  std::vector<std::string> entries = {"/b.asp"};
  AddUrlEntry(&entries, "/a.asp");
  AddUrlEntry(&entries, "/a.asp");
  AddUrlEntry(&entries, "");
  EXPECT_EQ(entries, (std::vector<std::string>{"", "/a.asp", "/a.asp", "/b.asp"}));

  testing::FakeUi ui;
  EXPECT_FALSE(DeleteUrlEntry(&entries, -1, ui));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "请选择要删除的行");
  EXPECT_EQ(ui.messages[0].caption, "ZelkWEB应用防火墙");
  EXPECT_EQ(ui.messages[0].style, 64);
  EXPECT_EQ(entries.size(), 4u);
  EXPECT_TRUE(DeleteUrlEntry(&entries, 2, ui));
  EXPECT_EQ(entries, (std::vector<std::string>{"", "/a.asp", "/b.asp"}));
}

}  // namespace
}  // namespace zelk::manager
