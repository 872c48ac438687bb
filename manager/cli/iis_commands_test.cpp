#include "manager/cli/iis_commands.h"

#include <gtest/gtest.h>

#include <sstream>

#include "manager/common/paths.h"
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

struct CommandRun {
  int code;
  std::string out, err;  // as GBK
  std::string messages;  // message box texts, one a line, style first: "48 text"
  std::vector<std::string> errors;
};

CommandRun Command(const std::string& command, std::vector<std::string> args, Metabase& metabase,
                   const std::string& dir) {
  std::ostringstream out, err;
  testing::FakeUi ui;
  const int code = RunIisCommand(command, args, metabase, BuildManagerPaths(dir), ui, out, err);
  std::string messages;
  for (const auto& m : ui.messages) messages += std::to_string(m.style) + " " + m.text + "\n";
  // The tool prints for the terminal; compare in the system's own encoding.
  return {code, platform::FromTerminal(out.str()), platform::FromTerminal(err.str()), messages,
          ui.errors};
}

class IisCommands : public ::testing::Test {
 protected:
  TempDir dir;
  ManagerPaths paths = BuildManagerPaths(dir.path());
  UnavailableMetabase no_iis;

  void PutModule() {
    CreateManagerFolders(paths);
    std::string error;
    ASSERT_TRUE(platform::WriteWholeFile(paths.FilterDllPath, "MZ", &error)) << error;
  }
};

TEST_F(IisCommands, StatusReportsARegisteredFilter) {
  MemoryMetabase registered("a,ZeLkWAF");
  const CommandRun r = Command("status", {}, registered, dir.path());
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "安装状态: 已安装\n");
}

TEST_F(IisCommands, InstallWithoutIisFailsAndWritesNothing) {
  PutModule();
  const CommandRun r = Command("install", {}, no_iis, dir.path());
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.messages, "48 操作失败 请确认IIS是否正常工作\n");
  EXPECT_EQ(r.out, "安装状态: 未安装\n");
  EXPECT_FALSE(platform::FileExists(paths.FilterIniPath));
  EXPECT_FALSE(platform::FileExists(paths.FilterLogPath));
}

TEST_F(IisCommands, InstallAndUninstallAgainstAMetabase) {
  PutModule();
  MemoryMetabase metabase;
  metabase.SetProperty("localhost/w3svc", kScriptMaps, std::vector<std::string>{});

  CommandRun r = Command("install", {}, metabase, dir.path());
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.messages, "64 安装操作已经完成,请勿移动当前程序IIS目录中的数据。\n");
  EXPECT_EQ(r.out, "安装状态: 已安装\n");
  EXPECT_EQ(metabase.StringProperty("localhost/w3svc/Filters", kFilterLoadOrder), ",ZeLkWAF");
  // The settings pages would show the defaults, so those are written.
  EXPECT_NE(FileBytes(paths.FilterIniPath).find("DenyFileExtDownValue=.mdb|.inc|.bak|"),
            std::string::npos);
  EXPECT_TRUE(platform::FileExists(paths.UrlListPath));
  EXPECT_TRUE(platform::FileExists(paths.FilterLogPath));

  r = Command("uninstall", {}, metabase, dir.path());
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.messages, "64 卸载操作已经完成! 如需删除残留文件请重启IIS后操作\n");
  EXPECT_EQ(r.out, "安装状态: 未安装\n");
  EXPECT_EQ(metabase.StringProperty("localhost/w3svc/Filters", kFilterLoadOrder), "");
  EXPECT_TRUE(metabase.ListProperty("localhost/w3svc", kScriptMaps).empty());
}

TEST_F(IisCommands, AnErrorThatEndsTheProcedureIsReported) {
  PutModule();
  MemoryMetabase metabase;
  metabase.AddSite(1, std::vector<std::string>{});
  metabase.FailOn("Name(localhost/w3svc/1)");
  const CommandRun r = Command("install", {}, metabase, dir.path());
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.messages, "");
  EXPECT_EQ(r.errors, std::vector<std::string>{"injected failure: Name(localhost/w3svc/1)"});
}

// Help and argument errors are checked on the built program (iis_cli_test).
TEST_F(IisCommands, RefusesACommandItDoesNotKnow) {
  const CommandRun r = Command("restart", {}, no_iis, dir.path());
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err.rfind("zelkwaf-manager: 未知的命令: restart\n", 0), 0u) << r.err;
}

}  // namespace
}  // namespace zelk::manager
