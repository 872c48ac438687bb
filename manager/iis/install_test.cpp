#include "manager/iis/install.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "manager/common/paths.h"
#include "manager/iis/access_grant.h"
#include "platform/appendfile.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "testing/fake_ui.h"
#include "testing/files.h"
#include "testing/memory_metabase.h"

namespace zelk::manager {
namespace {

using testing::FileBytes;
using testing::MemoryMetabase;
using testing::TempDir;
using List = std::vector<std::string>;

constexpr char kFilters[] = "localhost/w3svc/Filters";
constexpr char kService[] = "localhost/w3svc";
constexpr char kAsp[] = ".asp,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST";

// The manager's surroundings: a real IIS folder in a temporary directory, the
// in-memory metabase, and a record of everything asked of the window. Grants
// go to the real GrantFileAccess, so their results are the system's.
class FakeHost : public RegistrationHost {
 public:
  explicit FakeHost(const std::string& dir) : paths_(BuildManagerPaths(dir)) {
    CreateManagerFolders(paths_);
  }

  MemoryMetabase store;
  testing::FakeUi fake_ui;
  std::vector<testing::ShownMessage>& messages = fake_ui.messages;
  std::string label = kStateNotInstalled;
  List events;  // everything else, in order
  std::function<void()> on_save_settings;
  std::function<void(bool)> on_shortcuts;

  Metabase& metabase() override { return store; }
  const ManagerPaths& paths() override { return paths_; }
  ManagerUi& ui() override { return fake_ui; }
  void SetStateLabel(const std::string& text) override { label = text; }
  void SaveFilterSettings() override {
    events.push_back("SaveFilterSettings");
    if (on_save_settings) on_save_settings();
    Write(paths_.FilterIniPath, "[ZelkWAF]\r\nDenyShell=1\r\n");
  }
  void SaveUrlList() override {
    events.push_back("SaveUrlList");
    Write(paths_.UrlListPath, "/admin/\r\n");
  }
  bool GrantFileAccess(const std::string& account, const std::string& path,
                       std::uint32_t mask) override {
    const bool ok = manager::GrantFileAccess(account, path, mask);
    char text[16];
    std::snprintf(text, sizeof text, "%08X", mask);
    events.push_back("Grant(" + Name(path) + "," + text + ")=" + (ok ? "true" : "false"));
    return ok;
  }
  void SetShortcuts(bool create) override {
    events.push_back(create ? "SetShortcuts(create)" : "SetShortcuts(delete)");
    if (on_shortcuts) on_shortcuts(create);
  }

  void PutModule() { Write(paths_.FilterDllPath, "MZ"); }
  static void Write(const std::string& path, const std::string& bytes) {
    std::string error;
    ASSERT_TRUE(platform::WriteWholeFile(path, bytes, &error)) << error;
  }
  std::string Name(const std::string& path) const {
    return path.substr(path.find_last_of(platform::PathSeparator()) + 1);
  }

 private:
  ManagerPaths paths_;
};

class Install : public ::testing::Test {
 protected:
  TempDir dir;
  FakeHost host{dir.path()};
  const std::string own = "*," + host.paths().FilterDllPath + ",0,*";
};

TEST_F(Install, WithTheModuleMissingOnlyWarns) {
  EXPECT_EQ(InstallFilterModule(host), InstallOutcome::kModuleMissing);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "请检查当前程序IIS目录下是否存在ZelkWAF.dll");
  EXPECT_EQ(host.messages[0].style, 48);
  EXPECT_TRUE(host.events.empty());
  EXPECT_EQ(host.label, "未安装");
  EXPECT_EQ(host.store.CountCalls("Put("), 0);
  EXPECT_FALSE(platform::FileExists(host.paths().FilterLogPath));
}

TEST_F(Install, WithTheModuleMissingStillShowsAnEarlierRegistration) {
  host.store.SetProperty(kFilters, kFilterLoadOrder, "ZeLkWAF");
  EXPECT_EQ(InstallFilterModule(host), InstallOutcome::kModuleMissing);
  EXPECT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.label, "已安装");
}

TEST_F(Install, RegistersGrantsWritesAndTellsTheUser) {
  host.PutModule();
  host.store.SetProperty(kService, kScriptMaps, List{kAsp});
  host.store.AddSite(1, List{kAsp});
  host.store.AddSite(2);

  EXPECT_EQ(InstallFilterModule(host), InstallOutcome::kInstalled);

  EXPECT_EQ(host.events, (List{
                             "Grant(ZelkWAF.dll,A0000000)=true",
                             "SaveFilterSettings",
                             "SaveUrlList",
                             "Grant(ZelkWAF.ini,80000000)=true",
                             "Grant(ZelkWAF.dst,80000000)=true",
                             "Grant(ZelkWAFLog.txt,C0000000)=true",
                             "SetShortcuts(create)",
                         }));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].caption, "ZelkWEB应用防火墙");
  EXPECT_EQ(host.messages[0].text, "安装操作已经完成,请勿移动当前程序IIS目录中的数据。");
  EXPECT_EQ(host.messages[0].style, 64);
  EXPECT_EQ(host.label, "已安装");

  EXPECT_TRUE(platform::FileExists(host.paths().FilterLogPath));
  EXPECT_EQ(FileBytes(host.paths().FilterLogPath), "");
  EXPECT_EQ(host.store.StringProperty(kFilters, kFilterLoadOrder), ",ZeLkWAF");
  EXPECT_EQ(host.store.StringProperty(std::string(kFilters) + "/ZeLkWAF", "FilterPath"),
            host.paths().FilterDllPath);
  EXPECT_EQ(host.store.StringProperty(std::string(kFilters) + "/ZeLkWAF", "FilterDescription"),
            "1.0");
  ASSERT_EQ(host.store.extension_records.size(), 1u);
  EXPECT_EQ(host.store.extension_records[0].path, host.paths().FilterDllPath);
  EXPECT_EQ(host.store.ListProperty(kService, kScriptMaps), (List{kAsp, own}));
  EXPECT_EQ(host.store.ListProperty("localhost/w3svc/1/ROOT", kScriptMaps), (List{kAsp, own}));
  EXPECT_FALSE(host.store.Property("localhost/w3svc/2/ROOT", kScriptMaps));
}

TEST_F(Install, TwiceLeavesOneEntryAndOneScriptMapPerNode) {
  host.PutModule();
  host.store.SetProperty(kService, kScriptMaps, List{kAsp});
  host.store.AddSite(1, List{kAsp});
  ASSERT_EQ(InstallFilterModule(host), InstallOutcome::kInstalled);
  ASSERT_EQ(InstallFilterModule(host), InstallOutcome::kInstalled);
  EXPECT_EQ(host.store.StringProperty(kFilters, kFilterLoadOrder), ",ZeLkWAF");
  EXPECT_EQ(host.store.ListProperty(kService, kScriptMaps), (List{kAsp, own}));
  EXPECT_EQ(host.store.ListProperty("localhost/w3svc/1/ROOT", kScriptMaps), (List{kAsp, own}));
  EXPECT_EQ(host.store.extension_records.size(), 1u);
  EXPECT_EQ(std::count(host.events.begin(), host.events.end(), "SetShortcuts(create)"), 2);
  EXPECT_EQ(std::count(host.events.begin(), host.events.end(), "SaveFilterSettings"), 1);
}

TEST_F(Install, ReplacesARegistrationFromAnotherFolder) {
  host.PutModule();
  host.store.SetProperty(kFilters, kFilterLoadOrder, "a,ZeLkWAF,b");
  host.store.AddNode(std::string(kFilters) + "/ZeLkWAF", kFilterClass);
  host.store.SetProperty(std::string(kFilters) + "/ZeLkWAF", "FilterPath", "D:\\old\\ZelkWAF.dll");
  host.store.SetProperty(kService, kScriptMaps, List{"*,D:\\old\\ZelkWAF.dll,0,*", kAsp});
  ASSERT_EQ(InstallFilterModule(host), InstallOutcome::kInstalled);
  EXPECT_EQ(host.store.StringProperty(kFilters, kFilterLoadOrder), "a,b,ZeLkWAF");
  EXPECT_EQ(host.store.StringProperty(std::string(kFilters) + "/ZeLkWAF", "FilterPath"),
            host.paths().FilterDllPath);
  EXPECT_EQ(host.store.ListProperty(kService, kScriptMaps), (List{own, kAsp}));
}

TEST_F(Install, KeepsExistingSettingsFilesUntouched) {
  host.PutModule();
  FakeHost::Write(host.paths().FilterIniPath, "mine");
  ASSERT_EQ(InstallFilterModule(host), InstallOutcome::kInstalled);
  EXPECT_EQ(FileBytes(host.paths().FilterIniPath), "mine");
  EXPECT_FALSE(platform::FileExists(host.paths().UrlListPath));
  EXPECT_EQ(std::count(host.events.begin(), host.events.end(), "SaveFilterSettings"), 0);
  // The white list is missing, so its grant fails, silently.
  EXPECT_NE(std::find(host.events.begin(), host.events.end(), "Grant(ZelkWAF.dst,80000000)=false"),
            host.events.end());
  EXPECT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].style, 64);
}

TEST_F(Install, KeepsAnExistingEventLog) {
  host.PutModule();
  FakeHost::Write(host.paths().FilterLogPath, "old line\r\n");
  ASSERT_EQ(InstallFilterModule(host), InstallOutcome::kInstalled);
  EXPECT_EQ(FileBytes(host.paths().FilterLogPath), "old line\r\n");
}

TEST_F(Install, WithoutIisWarnsAndDoesNothingElse) {
  host.PutModule();
  host.store.FailOn("OpenNamespace", 0);
  EXPECT_EQ(InstallFilterModule(host), InstallOutcome::kRegistrationFailed);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "操作失败 请确认IIS是否正常工作");
  EXPECT_EQ(host.messages[0].style, 48);
  EXPECT_TRUE(host.events.empty());
  EXPECT_FALSE(platform::FileExists(host.paths().FilterLogPath));
  EXPECT_FALSE(platform::FileExists(host.paths().FilterIniPath));
  EXPECT_EQ(host.label, "未安装");
}

TEST_F(Install, AFilterObjectThatCannotBeMadeLeavesTheNameRegistered) {
  host.PutModule();
  host.store.FailOn("Create(");
  EXPECT_EQ(InstallFilterModule(host), InstallOutcome::kRegistrationFailed);
  EXPECT_EQ(host.messages.at(0).text, kMsgInstallFailed);
  // The load order was committed before the failure, so IIS lists the name.
  EXPECT_EQ(host.label, "已安装");
}

TEST_F(Install, ErrorsThatEscapeStopTheProcedureWhereTheyOccur) {
  struct Case {
    const char* name;
    std::function<void(FakeHost&)> arrange;
    List events;
  };
  const Case cases[] = {
      {"settings file cannot be written",
       [](FakeHost& h) { h.on_save_settings = [] { throw std::runtime_error("cannot write"); }; },
       {"Grant(ZelkWAF.dll,A0000000)=true", "SaveFilterSettings"}},
      {"a site cannot be read",
       [](FakeHost& h) {
         h.store.AddSite(1, List{kAsp});
         h.store.FailOn("Name(localhost/w3svc/1)");
       },
       {"Grant(ZelkWAF.dll,A0000000)=true", "SaveFilterSettings", "SaveUrlList"}},
      {"no shell link",
       [](FakeHost& h) { h.on_shortcuts = [](bool) { throw std::runtime_error("no link"); }; },
       {"Grant(ZelkWAF.dll,A0000000)=true", "SaveFilterSettings", "SaveUrlList",
        "Grant(ZelkWAF.ini,80000000)=true", "Grant(ZelkWAF.dst,80000000)=true",
        "Grant(ZelkWAFLog.txt,C0000000)=true", "SetShortcuts(create)"}},
  };
  for (const auto& c : cases) {
    TempDir fresh;
    FakeHost h(fresh.path());
    h.PutModule();
    c.arrange(h);
    EXPECT_ANY_THROW(InstallFilterModule(h)) << c.name;
    EXPECT_EQ(h.events, c.events) << c.name;
    EXPECT_TRUE(h.messages.empty()) << c.name;
    EXPECT_EQ(h.label, "未安装") << c.name;
    EXPECT_EQ(h.store.StringProperty(kFilters, kFilterLoadOrder), ",ZeLkWAF") << c.name;
  }
}

class Uninstall : public Install {};

TEST_F(Uninstall, TakesEverythingOutAndKeepsTheFiles) {
  host.PutModule();
  host.store.SetProperty(kFilters, kFilterLoadOrder, "a");
  host.store.SetProperty(kService, kScriptMaps, List{kAsp});
  host.store.AddSite(1, List{kAsp});
  ASSERT_EQ(InstallFilterModule(host), InstallOutcome::kInstalled);
  host.events.clear();
  host.messages.clear();

  EXPECT_TRUE(UninstallFilterModule(host));
  EXPECT_EQ(host.events, List{"SetShortcuts(delete)"});
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "卸载操作已经完成! 如需删除残留文件请重启IIS后操作");
  EXPECT_EQ(host.messages[0].style, 64);
  EXPECT_EQ(host.label, "未安装");
  EXPECT_EQ(host.store.StringProperty(kFilters, kFilterLoadOrder), "a");
  EXPECT_FALSE(host.store.HasNode(std::string(kFilters) + "/ZeLkWAF"));
  EXPECT_TRUE(host.store.extension_records.empty());
  EXPECT_EQ(host.store.ListProperty(kService, kScriptMaps), List{kAsp});
  EXPECT_EQ(host.store.ListProperty("localhost/w3svc/1/ROOT", kScriptMaps), List{kAsp});
  for (const auto* path : {&host.paths().FilterDllPath, &host.paths().FilterIniPath,
                           &host.paths().UrlListPath, &host.paths().FilterLogPath}) {
    EXPECT_TRUE(platform::FileExists(*path)) << *path;
  }
}

TEST_F(Uninstall, WhenNothingIsRegisteredSaysSoAndShowsNotInstalled) {
  host.label = kStateInstalled;
  host.store.SetProperty(kFilters, kFilterLoadOrder, "a,b");
  EXPECT_FALSE(UninstallFilterModule(host));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "操作失败 请确认IIS是否正常工作,或者防火墙已经卸载.");
  EXPECT_EQ(host.messages[0].style, 48);
  EXPECT_EQ(host.label, "未安装");
  EXPECT_EQ(host.store.StringProperty(kFilters, kFilterLoadOrder), "a,b");
  EXPECT_EQ(host.store.CountCalls("Put("), 0);
}

TEST_F(Uninstall, AFailedDeleteKeepsTheLabelWhileTheNameIsListed) {
  host.label = kStateInstalled;
  host.store.SetProperty(kFilters, kFilterLoadOrder, "ZeLkWAF");
  host.store.FailOn("SetInfo(localhost/w3svc/Filters)");
  EXPECT_FALSE(UninstallFilterModule(host));
  EXPECT_EQ(host.messages.at(0).text, kMsgUninstallFailed);
  EXPECT_EQ(host.label, "已安装");
}

TEST_F(Uninstall, ASiteThatCannotBeReadEndsItBeforeTheRegistrationGoes) {
  host.store.SetProperty(kFilters, kFilterLoadOrder, "ZeLkWAF");
  host.store.AddSite(1, List{kAsp});
  host.store.FailOn("AsObject(");
  EXPECT_THROW(UninstallFilterModule(host), MetabaseError);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(host.store.StringProperty(kFilters, kFilterLoadOrder), "ZeLkWAF");
}

TEST(RestartIis, RunsIisresetThroughTheShell) {
  struct Launcher : ShellLauncher {
    List calls;
    void ShellExecute(const std::string& verb, const std::string& file,
                      const std::string& parameters, const std::string& directory,
                      int show) override {
      calls.push_back(verb + "|" + file + "|" + parameters + "|" + directory + "|" +
                      std::to_string(show));
    }
  } shell;
  RestartIis(shell);
  EXPECT_EQ(shell.calls, List{"open|iisreset| /restart||1"});
}

struct FakeShortcuts : ShortcutPlatform {
  std::map<std::string, std::string> folders;
  std::set<std::string> files;
  List calls;
  bool no_link = false;

  struct Link : ShellLink {
    FakeShortcuts* owner;
    explicit Link(FakeShortcuts* o) : owner(o) {}
    void SetPath(const std::string& p) override { owner->calls.push_back("SetPath(" + p + ")"); }
    void SetWorkingDirectory(const std::string& d) override {
      owner->calls.push_back("SetWorkingDirectory(" + d + ")");
    }
    void SetDescription(const std::string& t) override {
      owner->calls.push_back("SetDescription(" + t + ")");
    }
    void Save(const std::u16string& path, bool remember) override {
      const std::string gbk = platform::Utf16ToGbk(path);
      owner->calls.push_back("Save(" + gbk + "," + (remember ? "true" : "false") + ")");
      owner->files.insert(gbk);
    }
  };

  std::string ShellFolder(const std::string& name) override {
    const auto it = folders.find(name);
    return it == folders.end() ? "" : it->second;
  }
  std::unique_ptr<ShellLink> CreateShellLink() override {
    if (no_link) throw std::runtime_error("CoCreateInstance failed");
    return std::make_unique<Link>(this);
  }
  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  void DeleteFile(const std::string& path) override {
    calls.push_back("DeleteFile(" + path + ")");
    files.erase(path);
  }
};

TEST(SetShortcuts, SavesOneLinkOnTheDesktopAndAtTheTopOfTheStartMenu) {
  FakeShortcuts shell;
  shell.folders = {{"Desktop", "C:\\Users\\a\\桌面"}, {"Start Menu", "C:\\Users\\a\\「开始」菜单"}};
  SetShortcuts(shell, true, "C:\\Program Files\\WAF\\ZelkWAF.exe", "C:\\Program Files\\WAF\\");
  EXPECT_EQ(shell.calls, (List{
                             "SetPath(C:\\Program Files\\WAF\\ZelkWAF.exe)",
                             "SetWorkingDirectory(C:\\Program Files\\WAF\\)",
                             "SetDescription(ZelkWEB应用防火墙)",
                             "Save(C:\\Users\\a\\桌面\\ZelkWEB应用防火墙.lnk,false)",
                             "Save(C:\\Users\\a\\「开始」菜单\\ZelkWEB应用防火墙.lnk,false)",
                         }));

  shell.calls.clear();
  shell.files.insert("C:\\elsewhere\\ZelkWEB应用防火墙.lnk");
  SetShortcuts(shell, false, "", "");
  EXPECT_EQ(shell.calls, (List{
                             "DeleteFile(C:\\Users\\a\\桌面\\ZelkWEB应用防火墙.lnk)",
                             "DeleteFile(C:\\Users\\a\\「开始」菜单\\ZelkWEB应用防火墙.lnk)",
                         }));
  EXPECT_EQ(shell.files, std::set<std::string>{"C:\\elsewhere\\ZelkWEB应用防火墙.lnk"});
  shell.calls.clear();
  SetShortcuts(shell, false, "", "");  // nothing left to delete
  EXPECT_TRUE(shell.calls.empty());
}

TEST(SetShortcuts, PassesOverAFolderTheSystemDoesNotName) {
  FakeShortcuts shell;
  shell.folders = {{"Start Menu", "S:"}};
  shell.files = {"\\ZelkWEB应用防火墙.lnk"};
  SetShortcuts(shell, true, "x.exe", "d\\");
  EXPECT_EQ(shell.calls.back(), "Save(S:\\ZelkWEB应用防火墙.lnk,false)");
  EXPECT_EQ(std::count_if(shell.calls.begin(), shell.calls.end(),
                          [](const std::string& c) { return c.rfind("Save(", 0) == 0; }),
            1);
  SetShortcuts(shell, false, "", "");
  EXPECT_EQ(shell.files.count("\\ZelkWEB应用防火墙.lnk"), 1u);  // not at the root of the drive
}

TEST(SetShortcuts, WithoutAShellLinkThrowsAndSavesNothing) {
  FakeShortcuts shell;
  shell.folders = {{"Desktop", "D"}};
  shell.no_link = true;
  EXPECT_THROW(SetShortcuts(shell, true, "x.exe", "d\\"), std::runtime_error);
  EXPECT_TRUE(shell.files.empty());
}

struct FakeRunKey : RunKey {
  List calls;
  bool refuse_write = false;
  bool Open() override {
    calls.push_back("Open");
    return !refuse_write;
  }
  bool SetString(const std::string& name, const std::string& value) override {
    calls.push_back("SetString(" + name + "," + value + ")");
    return !refuse_write;
  }
  bool DeleteValue(const std::string& name) override {
    calls.push_back("DeleteValue(" + name + ")");
    return !refuse_write;
  }
  void Close() override { calls.push_back("Close"); }
};

TEST(SetAutoRun, WritesThePathAsItIsOrDeletesTheValue) {
  FakeRunKey key;
  SetAutoRun(key, true, "C:\\Program Files\\WAF\\ZelkWAF.exe");
  SetAutoRun(key, false, "C:\\Program Files\\WAF\\ZelkWAF.exe");
  EXPECT_EQ(key.calls, (List{"Open", "SetString(ZeLkWP,C:\\Program Files\\WAF\\ZelkWAF.exe)",
                             "Close", "Open", "DeleteValue(ZeLkWP)", "Close"}));
}

TEST(SetAutoRun, AValueThatCannotBeWrittenIsAnErrorAndADeleteIsNot) {
  FakeRunKey key;
  key.refuse_write = true;
  try {
    SetAutoRun(key, true, "C:\\WAF\\ZelkWAF.exe");
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'ZeLkWP'");
  }
  EXPECT_EQ(key.calls.back(), "Close");
  EXPECT_NO_THROW(SetAutoRun(key, false, "C:\\WAF\\ZelkWAF.exe"));
}

}  // namespace
}  // namespace zelk::manager
