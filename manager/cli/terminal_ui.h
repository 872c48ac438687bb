// The manager's window interface on a terminal, for zelkwaf-manager: notices
// go to standard output, errors to standard error, questions are asked on the
// terminal (or answered beforehand from the command line), and progress is
// one self-overwriting line on standard error when that is a terminal.
// Not thread-safe.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "manager/common/ui.h"

namespace zelk::manager::cli {

class TerminalUi : public ManagerUi {
 public:
  TerminalUi();

  // The answer to give to every yes/no question; unset: ask on the terminal.
  void set_answer(std::optional<bool> answer) { answer_ = answer; }

  void ShowMessage(const std::string& caption, const std::string& text, int style) override;
  void ShowError(const std::string& text) override;
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  void SetStatus(const std::string& text) override;
  bool Progress(long count, const std::string& path) override;
  bool ChooseFolder(const std::string& title, std::string* folder) override;
  bool ChooseFile(const FileDialog& dialog, std::string* path) override;
  void OpenFile(const std::string& path) override;

  // Clears the progress line, if one is shown.
  void EndProgress();

 private:
  std::optional<bool> answer_;
  bool show_progress_;
  bool progress_shown_ = false;
  std::chrono::steady_clock::time_point last_progress_{};
};

// Writes GBK text for people to the stream in the terminal's encoding.
void PrintForPeople(std::FILE* to, const std::string& gbk);

}  // namespace zelk::manager::cli
