#include "testing/fake_ui.h"

namespace zelk::testing {

void FakeUi::ShowMessage(const std::string& caption, const std::string& text, int style) {
  messages.push_back({caption, text, style});
}

bool FakeUi::AskYesNo(const std::string& caption, const std::string& text) {
  questions.push_back(caption + "|" + text);
  if (answers.empty()) return false;
  const bool a = answers.front();
  answers.pop_front();
  return a;
}

bool FakeUi::Progress(long count, const std::string&) {
  ++progress_calls;
  return stop_at_count < 0 || count < stop_at_count;
}

bool FakeUi::ChooseFolder(const std::string& title, std::string* folder) {
  manager::FileDialog d;
  d.title = title;
  return ChooseFile(d, folder);
}

bool FakeUi::ChooseFile(const manager::FileDialog& dialog, std::string* path) {
  dialog_titles.push_back(dialog.title);
  if (chosen_files.empty()) return false;
  *path = chosen_files.front();
  chosen_files.pop_front();
  return true;
}

}  // namespace zelk::testing
