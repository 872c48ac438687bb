// Every wrapper of the platform layer reports a failed call in the one form
// of system_error.h, with the path as it was given (GBK), natively and under
// Wine.
#include "platform/system_error.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/appendfile.h"
#include "platform/dirwatch.h"
#include "platform/files.h"
#include "testing/files.h"

namespace zelk::platform {
namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(SystemErrorText, NamesTheCallTheCodeAndThePath) {
  const std::string text = SystemErrorText("open", 2, "C:\\网站\\a.asp");
  EXPECT_EQ(text.rfind("open failed (2): ", 0), 0u) << text;
  EXPECT_GT(text.size(), std::string("open failed (2): : C:\\网站\\a.asp").size()) << "no message";
  EXPECT_TRUE(EndsWith(text, ": C:\\网站\\a.asp")) << text;
  // COM's HRESULTs are read in hex.
  const std::string com = SystemErrorText("CoCreateInstance(ShellLink)", 0x80040154u, "");
  EXPECT_EQ(com.rfind("CoCreateInstance(ShellLink) failed (0x80040154): ", 0), 0u) << com;
  const std::string bare = SystemErrorText("eventfd", 24, "");
  EXPECT_EQ(bare.rfind("eventfd failed (24): ", 0), 0u) << bare;
  EXPECT_NE(bare.back(), ' ');
  EXPECT_EQ(bare.find(": ", std::string("eventfd failed (24): ").size()), std::string::npos)
      << bare;
}

TEST(SystemErrorText, EveryWrapperKeepsTheGbkPath) {
  testing::TempDir temp;
  const std::string dir = temp.path() + "网站" + PathSeparator();
  ASSERT_TRUE(CreateDirectories(dir));
  const std::string missing = dir + "缺少.asp";
  const std::string folder = dir + "目录";
  ASSERT_TRUE(CreateDirectories(folder));

  const struct {
    const char* what;
    std::string path;
    std::function<bool(std::string*)> fails;
  } cases[] = {
      {"ReadWholeFile of a missing file", missing,
       [&](std::string* e) {
         std::string b;
         return !ReadWholeFile(missing, &b, e);
       }},
      {"ReadWholeFile of a folder", folder,
       [&](std::string* e) {
         std::string b;
         return !ReadWholeFile(folder, &b, e);
       }},
      {"WriteWholeFile into a missing folder", missing + PathSeparator() + "x",
       [&](std::string* e) { return !WriteWholeFile(missing + PathSeparator() + "x", "x", e); }},
      {"RemoveFile", missing, [&](std::string* e) { return !RemoveFile(missing, e); }},
      {"SetLastWriteTime", missing,
       [&](std::string* e) { return !SetLastWriteTime(missing, 0x01D0000000000000ULL, e); }},
      {"AppendFile::OpenExisting", missing,
       [&](std::string* e) { return AppendFile::OpenExisting(missing, e) == nullptr; }},
      {"DirChangeSource::Open", missing,
       [&](std::string* e) {
         return DirChangeSource::Open(missing, true, kNotifyChangeFileName, e) == nullptr;
       }},
  };
  for (const auto& c : cases) {
    std::string error;
    ASSERT_TRUE(c.fails(&error)) << c.what;
    EXPECT_NE(error.find(" failed ("), std::string::npos) << c.what << ": " << error;
    EXPECT_TRUE(EndsWith(error, ": " + c.path)) << c.what << ": " << error;
  }
}

}  // namespace
}  // namespace zelk::platform
