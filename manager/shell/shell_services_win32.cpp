#include "manager/shell/shell_services_win32.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "manager/common/errors.h"
#include "manager/shell/layout.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/system_error.h"

namespace zelk::manager::shell {
namespace {

constexpr char kRunKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
// The spelling Windows has always accepted (registry keys ignore case).
constexpr char kShellFoldersKey[] =
    "Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Releases a COM interface when it goes out of scope.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  T** put() { return &p_; }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

class Win32ShellLink final : public ShellLink {
 public:
  Win32ShellLink(ComPtr<IShellLinkA> link, ComPtr<IPersistFile> file)
      : link_(std::move(link)), file_(std::move(file)) {}
  void SetPath(const std::string& path) override { link_->SetPath(path.c_str()); }
  void SetWorkingDirectory(const std::string& dir) override {
    link_->SetWorkingDirectory(dir.c_str());
  }
  void SetDescription(const std::string& text) override { link_->SetDescription(text.c_str()); }
  void Save(const std::u16string& path, bool remember) override {
    std::wstring wide(path.begin(), path.end());
    file_->Save(wide.c_str(), remember ? TRUE : FALSE);
  }

 private:
  ComPtr<IShellLinkA> link_;
  ComPtr<IPersistFile> file_;
};

// Turns a typed, missing folder into a question and, on Yes, a new folder.
int CALLBACK BrowseCallback(HWND dialog, UINT msg, LPARAM lp, LPARAM) {
  if (msg != BFFM_VALIDATEFAILEDA) return 0;
  const std::string typed = reinterpret_cast<const char*>(lp);
  const std::string text = "目录 " + typed + " 不存在,是否创建?";
  if (MessageBoxA(dialog, text.c_str(), kAppTitle, MB_YESNO | MB_ICONQUESTION) == IDYES &&
      platform::CreateDirectories(typed)) {
    return 0;  // accept: the dialog closes with the typed folder
  }
  return 1;  // keep the dialog open
}

}  // namespace

std::string ExecutablePath() {
  char buf[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  return std::string(buf, n);
}

bool RegistryRunKey::Open() {
  Close();
  return RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_ALL_ACCESS, nullptr, &key_, nullptr) == ERROR_SUCCESS;
}

bool RegistryRunKey::SetString(const std::string& name, const std::string& value) {
  if (!key_) return false;
  return RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool RegistryRunKey::DeleteValue(const std::string& name) {
  return key_ && RegDeleteValueA(key_, name.c_str()) == ERROR_SUCCESS;
}

void RegistryRunKey::Close() {
  if (key_) RegCloseKey(key_);
  key_ = nullptr;
}

std::string Win32ShortcutPlatform::ShellFolder(const std::string& value_name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return {};
  char buf[MAX_PATH * 2] = {};
  DWORD size = sizeof buf - 1;
  DWORD type = 0;
  std::string value;
  if (RegQueryValueExA(key, value_name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf),
                       &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    value = buf;
  }
  RegCloseKey(key);
  return value;
}

std::unique_ptr<ShellLink> Win32ShortcutPlatform::CreateShellLink() {
  ComPtr<IShellLinkA> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(link.put()));
  if (FAILED(hr)) {
    throw ManagerError(platform::SystemErrorText("CoCreateInstance(ShellLink)",
                                                 static_cast<std::uint32_t>(hr), ""));
  }
  ComPtr<IPersistFile> file;
  hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put()));
  if (FAILED(hr)) throw ManagerError("Interface not supported (IPersistFile)");
  return std::make_unique<Win32ShellLink>(std::move(link), std::move(file));
}

bool Win32ShortcutPlatform::FileExists(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

void Win32ShortcutPlatform::DeleteFile(const std::string& path) { ::DeleteFileA(path.c_str()); }

void Win32ShellLauncher::ShellExecute(const std::string& verb, const std::string& file,
                                      const std::string& parameters, const std::string& directory,
                                      int show_command) {
  ::ShellExecuteA(nullptr, verb.c_str(), file.c_str(), parameters.c_str(),
                  directory.empty() ? nullptr : directory.c_str(), show_command);
}

void OpenLog(const std::string& path) {
  ShellExecuteA(nullptr, "open", path.c_str(), "", nullptr, SW_SHOWNORMAL);
}

void StartProgram(const std::string& program_path) {
  WinExec(QuotedCommandPath(program_path).c_str(), SW_SHOWNORMAL);
}

bool PickFolder(HWND owner, const std::string& title, std::string* folder) {
  BROWSEINFOA info{};
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;  // the desktop
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX | BIF_VALIDATE;
  info.lpfn = BrowseCallback;
  LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
  if (!chosen) return false;
  char path[MAX_PATH] = {};
  const bool ok = SHGetPathFromIDListA(chosen, path) != FALSE;
  CoTaskMemFree(chosen);
  if (!ok) return false;
  *folder = path;
  return true;
}

std::string DialogFilter(const std::string& manager_filter) {
  std::string out = manager_filter;
  for (char& c : out) {
    if (c == '|') c = '\0';
  }
  out.push_back('\0');
  out.push_back('\0');
  return out;
}

bool PickFile(HWND owner, const FileDialog& dialog, std::string* path) {
  std::vector<char> buf(MAX_PATH * 2, '\0');
  const std::string filter = DialogFilter(dialog.filter);
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buf.data();
  ofn.nMaxFile = static_cast<DWORD>(buf.size());
  ofn.lpstrTitle = dialog.title.c_str();
  ofn.lpstrDefExt = dialog.default_ext.empty() ? nullptr : dialog.default_ext.c_str();
  ofn.Flags =
      OFN_HIDEREADONLY | OFN_EXPLORER | OFN_ENABLESIZING | (dialog.save ? 0 : OFN_FILEMUSTEXIST);
  const BOOL ok = dialog.save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
  if (!ok) return false;
  *path = buf.data();
  return true;
}

}  // namespace zelk::manager::shell
