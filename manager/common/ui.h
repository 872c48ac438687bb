// What the manager's procedures need from the window around them: message
// boxes, questions, file and folder choice, a status line, progress with a
// chance to stop, and opening a log for the user. The Win32 window, the
// command-line tool and the tests each implement it.
//
// All texts are GBK. Every method is called on the thread that runs the
// procedure (the window's thread); none may throw.
#pragma once

#include <string>

namespace zelk::manager {

// Caption of the manager's message box and of its general error box.
inline constexpr char kMsgBoxCaption[] = "ZelkWEB应用防火墙";

// Message-box icon styles (MB_ICONINFORMATION, MB_ICONEXCLAMATION).
inline constexpr int kMsgBoxInformation = 64;
inline constexpr int kMsgBoxWarning = 48;

// An open or save dialog.
struct FileDialog {
  std::string title;
  std::string default_ext;  // "txt"
  std::string filter;       // "Text File(*.txt)|*.txt|All File(*.*)|*.*"
  bool save = false;
};

class ManagerUi {
 public:
  virtual ~ManagerUi() = default;

  // A modal box with one OK button.
  virtual void ShowMessage(const std::string& caption, const std::string& text, int style) = 0;
  // MsgBox: the manager's own caption.
  void MsgBox(const std::string& text, int style) { ShowMessage(kMsgBoxCaption, text, style); }
  // The general error box: an error that ended an action, shown with the
  // application's title and a stop icon.
  virtual void ShowError(const std::string& text) = 0;
  // A modal Yes/No question with the information icon; true for Yes.
  virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;

  // The page's status label (lblPath).
  virtual void SetStatus(const std::string& text) = 0;
  // Called after every entry of a long walk with the number of lines written
  // so far and the entry's path. The window processes its pending messages
  // here. Returning false asks the walk to stop.
  virtual bool Progress(long count, const std::string& path) = 0;

  // Folder-choice and file dialogs; false when cancelled.
  virtual bool ChooseFolder(const std::string& title, std::string* folder) = 0;
  virtual bool ChooseFile(const FileDialog& dialog, std::string* path) = 0;

  // Opens a text file (a log) in the user's viewer without waiting for it;
  // failures are ignored.
  virtual void OpenFile(const std::string& path) = 0;
};

}  // namespace zelk::manager
