// zelkwaf-manager status/install/uninstall end to end on this system, which
// has no IIS: the built program, a temporary manager folder, a chosen locale.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "platform/appendfile.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "testing/files.h"
#include "testing/run_program.h"

namespace {

using zelk::testing::FileBytes;
using zelk::testing::TempDir;
namespace platform = zelk::platform;

using CliRun = zelk::testing::ProgramRun;

class IisCli : public ::testing::Test {
 protected:
  CliRun Manager(const std::string& args, const std::string& locale = "C.UTF-8") {
    return zelk::testing::RunProgram(ZELKWAF_MANAGER_EXE,
                                     "--home " + zelk::testing::ShellQuote(home_) + " " + args,
                                     dir_.path(), locale);
  }
  static std::string Utf8(const std::string& gbk) { return platform::GbkToUtf8(gbk); }

  TempDir dir_;
  const std::string home_ = dir_.path();
};

TEST_F(IisCli, WithoutIisNothingCanBeInstalledOrUninstalled) {
  const struct {
    const char* args;
    bool put_module;
    const char* out;
  } cases[] = {
      {"status", false, "安装状态: 未安装\n"},
      {"install", false, "请检查当前程序IIS目录下是否存在ZelkWAF.dll\n安装状态: 未安装\n"},
      {"install", true, "操作失败 请确认IIS是否正常工作\n安装状态: 未安装\n"},
      {"uninstall", true, "操作失败 请确认IIS是否正常工作,或者防火墙已经卸载.\n安装状态: 未安装\n"},
  };
  for (const auto& c : cases) {
    if (c.put_module) {
      std::string error;
      ASSERT_TRUE(platform::CreateDirectories(home_ + "IIS"));
      ASSERT_TRUE(platform::WriteWholeFile(home_ + "IIS/ZelkWAF.dll", "MZ", &error)) << error;
    }
    const CliRun r = Manager(c.args);
    EXPECT_EQ(r.exit_code, 1) << c.args;
    EXPECT_EQ(r.out, Utf8(c.out)) << c.args;
    EXPECT_EQ(r.err, "") << c.args;
  }
  EXPECT_FALSE(platform::FileExists(home_ + "IIS/ZelkWAF.ini"));
  EXPECT_FALSE(platform::FileExists(home_ + "IIS/ZelkWAFLog.txt"));
}

TEST_F(IisCli, PrintsGbkOutsideAUtf8LocaleAndHasHelp) {
  EXPECT_EQ(Manager("status", "C").out, "安装状态: 未安装\n");  // this literal is GBK
  for (const char* args : {"status --help", "install -h", "uninstall --help"}) {
    const CliRun r = Manager(args);
    EXPECT_EQ(r.exit_code, 0) << args;
    EXPECT_NE(r.out.find(Utf8("用法: zelkwaf-manager [--home 目录] status")), std::string::npos);
  }
  const CliRun bad = Manager("install --yes");
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_EQ(bad.err, Utf8("zelkwaf-manager: 未知的参数: --yes\n请用 --help 查看用法。\n"));
  EXPECT_FALSE(platform::DirectoryExists(home_ + "IIS"));
}

}  // namespace
