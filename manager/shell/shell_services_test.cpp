// The window's shell services on the real (Wine's) shell: shortcut files made
// through IShellLinkA + IPersistFile and read back, and the dialog filter.
// COM is initialised per test as the window's thread has it.
#include "manager/shell/shell_services_win32.h"

// after <windows.h>, which the header above brings.
// clang-format off
#include <objbase.h>
#include <shlobj.h>
// clang-format on

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "manager/iis/install.h"
#include "manager/iis/metabase_adsi_win32.h"
#include "manager/shell/main_window_win32.h"
#include "platform/text.h"
#include "testing/files.h"

namespace zelk::manager::shell {
namespace {

// The window's owners of handles and of the window itself: a copy would
// close or destroy what the original still uses, and a move would leave the
// window procedure or the shell holding the old address.
template <typename T>
constexpr bool kNeitherCopiedNorMoved =
    !std::is_copy_constructible_v<T> && !std::is_copy_assignable_v<T> &&
    !std::is_move_constructible_v<T> && !std::is_move_assignable_v<T>;
static_assert(kNeitherCopiedNorMoved<RegistryRunKey>);
static_assert(kNeitherCopiedNorMoved<TForm1>);
static_assert(kNeitherCopiedNorMoved<WindowControls>);
static_assert(kNeitherCopiedNorMoved<IconSet>);
static_assert(kNeitherCopiedNorMoved<TrayIcon>);

constexpr char kShellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// Wine's shell rewrites "Shell Folders" from these when it starts, so both
// are pointed at the test's folders.
constexpr char kUserShellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::string ReadValue(const char* key_path, const char* name, DWORD* type) {
  HKEY key = nullptr;
  *type = REG_NONE;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key_path, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  char buf[MAX_PATH * 2] = {};
  DWORD size = sizeof buf - 1;
  std::string value;
  if (RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(buf), &size) ==
      ERROR_SUCCESS)
    value = buf;
  RegCloseKey(key);
  return value;
}

void WriteValue(const char* key_path, const char* name, const std::string& value, DWORD type) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key_path, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

// A user's folder value as the test found it.
struct SavedFolder {
  const char* key;
  const char* name;
  std::string value;
  DWORD type;
};

bool FileExists(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// Points the user's desktop and start menu at folders of the test (a name
// with Chinese and a space in it), and puts everything back afterwards.
class ShortcutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    root_ = temp_.path() + "zelk 快捷方式";
    desktop_ = root_ + "\\desktop";
    start_menu_ = root_ + "\\start menu";
    CreateDirectoryA(root_.c_str(), nullptr);
    CreateDirectoryA(desktop_.c_str(), nullptr);
    CreateDirectoryA(start_menu_.c_str(), nullptr);
    for (const char* key : {kShellFoldersKey, kUserShellFoldersKey}) {
      for (const char* name : {"Desktop", "Start Menu"}) {
        SavedFolder saved{key, name, {}, REG_NONE};
        saved.value = ReadValue(key, name, &saved.type);
        saved_.push_back(saved);
        WriteValue(key, name, std::string(name) == "Desktop" ? desktop_ : start_menu_, REG_SZ);
      }
    }
  }

  void TearDown() override {
    for (const SavedFolder& s : saved_) {
      if (s.type != REG_NONE) WriteValue(s.key, s.name, s.value, s.type);
    }
    for (const std::string& dir : {desktop_, start_menu_}) {
      DeleteFileA(ShortcutPath(dir).c_str());
      RemoveDirectoryA(dir.c_str());
    }
    RemoveDirectoryA(root_.c_str());
    CoUninitialize();
  }

  testing::TempDir temp_;
  std::string root_, desktop_, start_menu_;
  std::vector<SavedFolder> saved_;
};

struct LinkContents {
  std::string path, working_dir, description;
};

LinkContents ReadLink(const std::string& file) {
  LinkContents out;
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link)))) {
    return out;
  }
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
    wchar_t wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(persist->Load(wide, STGM_READ))) {
      char buf[MAX_PATH] = {};
      link->GetPath(buf, MAX_PATH, nullptr, 0);
      out.path = buf;
      link->GetWorkingDirectory(buf, MAX_PATH);
      out.working_dir = buf;
      link->GetDescription(buf, MAX_PATH);
      out.description = buf;
    }
    persist->Release();
  }
  link->Release();
  return out;
}

TEST_F(ShortcutTest, CreateWritesBothLinksAndDeleteRemovesThem) {
  const std::string exe = ExecutablePath();
  const std::string dir = exe.substr(0, exe.find_last_of('\\') + 1);
  Win32ShortcutPlatform platform;
  SetShortcuts(platform, true, exe, dir);
  for (const std::string& folder : {desktop_, start_menu_}) {
    const std::string file = folder + "\\ZelkWEB应用防火墙.lnk";
    ASSERT_TRUE(FileExists(file)) << file;
    const LinkContents link = ReadLink(file);
    EXPECT_TRUE(EqualsIgnoreAsciiCase(link.path, exe)) << link.path;
    EXPECT_EQ(link.working_dir, dir);
    EXPECT_EQ(link.description, "ZelkWEB应用防火墙");
  }
  SetShortcuts(platform, false, exe, dir);
  EXPECT_FALSE(FileExists(desktop_ + "\\ZelkWEB应用防火墙.lnk"));
  EXPECT_FALSE(FileExists(start_menu_ + "\\ZelkWEB应用防火墙.lnk"));
}

TEST(DialogFilter, PipesBecomeZerosAndTheListEndsInTwo) {
  const std::string f = DialogFilter("Text File(*.txt)|*.txt|All File(*.*)|*.*");
  EXPECT_EQ(f, std::string("Text File(*.txt)\0*.txt\0All File(*.*)\0*.*\0\0", 42));
}

}  // namespace
}  // namespace zelk::manager::shell
