// zelkwaf-manager.exe end to end under Wine: the built program, started from
// a folder of the test's own, as an administrator's script would start it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/files.h"
#include "testing/files.h"
#include "testing/run_program.h"

namespace zelk::manager {
namespace {

using testing::FileBytes;
using testing::ProgramRun;
using testing::TempDir;

// Built beside this test.
std::string ManagerExePath() { return platform::ExecutableDir() + "zelkwaf-manager.exe"; }

class ManagerExe : public ::testing::Test {
 protected:
  // Runs the program in the test's folder; its output without the carriage
  // returns of the console's text mode.
  ProgramRun Run(const std::string& args) {
    ProgramRun run = testing::RunProgram(ManagerExePath(), args, dir_.path(), "", dir_.path());
    for (std::string* text : {&run.out, &run.err}) {
      text->erase(std::remove(text->begin(), text->end(), '\r'), text->end());
    }
    return run;
  }
  TempDir dir_;
};

// A relative --home names the folder below the current one, for reading and
// for writing. Windows would look for the profile file of a relative path in
// the Windows folder; Wine does so only for a bare file name, so here the
// program is checked end to end, and AbsoluteManagerPaths' own test pins that
// no relative path reaches the profile API.
TEST_F(ManagerExe, ARelativeHomeIsTheFolderBelowTheCurrentOne) {
  const std::string home = dir_.path() + "管理\\";
  ASSERT_TRUE(platform::CreateDirectories(home));
  std::string error;
  ASSERT_TRUE(
      platform::WriteWholeFile(home + "Config.ini", "[Config]\r\nMonDir=E:\\网站\\\r\n", &error))
      << error;
  const std::string folder = dir_.path().substr(0, dir_.path().size() - 1);
  const std::string name = folder.substr(folder.rfind('\\') + 1);
  for (const std::string& typed :
       {std::string("管理"), std::string(".\\管理\\"), "..\\" + name + "\\管理"}) {
    const ProgramRun list = Run("--home " + testing::ShellQuote(typed) + " settings");
    EXPECT_EQ(list.exit_code, 0) << typed << ": " << list.err;
    EXPECT_NE(list.out.find("\nMonDir=E:\\网站\\\n"), std::string::npos)
        << typed << ": " << list.out;
  }
  const ProgramRun set = Run("--home 管理 settings set Skin=0");
  EXPECT_EQ(set.exit_code, 0) << set.err;
  EXPECT_NE(FileBytes(home + "Config.ini").find("\r\nSkin=0\r\n"), std::string::npos);
  EXPECT_TRUE(platform::DirectoryExists(home + "Log")) << "the folders are made there too";
}

// status asks IIS through ADSI; where there is none (Wine) it reports the
// module as not installed.
TEST_F(ManagerExe, StatusAsksTheSystemsMetabase) {
  const ProgramRun status = Run("--home . status");
  EXPECT_EQ(status.exit_code, 1) << status.err;
  EXPECT_EQ(status.out, "安装状态: 未安装\n") << status.err;
}

}  // namespace
}  // namespace zelk::manager
