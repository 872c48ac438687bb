// A ManagerUi for tests: records everything shown, answers questions and file
// dialogs from prepared values, and can ask a walk to stop after N lines.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "manager/common/ui.h"

namespace zelk::testing {

struct ShownMessage {
  std::string caption, text;
  int style;
};

class FakeUi : public manager::ManagerUi {
 public:
  // Prepared answers, used in order; a question with none left is answered No
  // and a dialog with none left is cancelled.
  std::deque<bool> answers;
  std::deque<std::string> chosen_files;
  long stop_at_count = -1;  // Progress returns false once the count reaches it

  std::vector<ShownMessage> messages;
  std::vector<std::string> errors;
  std::vector<std::string> questions;  // caption + "|" + text
  std::vector<std::string> statuses;
  std::vector<std::string> opened;
  std::vector<std::string> dialog_titles;
  long progress_calls = 0;

  void ShowMessage(const std::string& caption, const std::string& text, int style) override;
  void ShowError(const std::string& text) override { errors.push_back(text); }
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  void SetStatus(const std::string& text) override { statuses.push_back(text); }
  bool Progress(long count, const std::string& path) override;
  bool ChooseFolder(const std::string& title, std::string* folder) override;
  bool ChooseFile(const manager::FileDialog& dialog, std::string* path) override;
  void OpenFile(const std::string& path) override { opened.push_back(path); }
};

}  // namespace zelk::testing
