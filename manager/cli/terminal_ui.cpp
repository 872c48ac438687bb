#include "manager/cli/terminal_ui.h"

#include <cstdio>

#include "manager/common/text_fields.h"
#include "platform/codepage.h"
#include "platform/console.h"

namespace zelk::manager::cli {

void PrintForPeople(std::FILE* to, const std::string& gbk) {
  const std::string text = platform::ForTerminal(gbk);
  std::fwrite(text.data(), 1, text.size(), to);
  std::fflush(to);
}

TerminalUi::TerminalUi() : show_progress_(platform::IsTerminal(stderr)) {}

void TerminalUi::ShowMessage(const std::string&, const std::string& text, int) {
  EndProgress();
  PrintForPeople(stdout, text + "\n");
}

void TerminalUi::ShowError(const std::string& text) {
  EndProgress();
  PrintForPeople(stderr, "zelkwaf-manager: " + text + "\n");
}

bool TerminalUi::AskYesNo(const std::string& caption, const std::string& text) {
  if (answer_) return *answer_;
  EndProgress();
  for (;;) {
    PrintForPeople(stderr, caption + ": " + text + " [y/n] ");
    std::string line;
    if (!platform::ReadInputLine(&line)) {
      PrintForPeople(stderr, "\n");
      return false;
    }
    const std::string answer = platform::FromTerminal(line);
    if (answer == "y" || answer == "Y" || answer == "yes" || answer == "是") return true;
    if (answer == "n" || answer == "N" || answer == "no" || answer == "否") return false;
  }
}

void TerminalUi::SetStatus(const std::string&) {
  // The command prints its own result line; intermediate label texts are
  // what the progress line shows.
}

bool TerminalUi::Progress(long count, const std::string& path) {
  if (!show_progress_) return true;
  const auto now = std::chrono::steady_clock::now();
  if (progress_shown_ && now - last_progress_ < std::chrono::milliseconds(100)) return true;
  last_progress_ = now;
  progress_shown_ = true;
  PrintForPeople(stderr, "\r\x1b[K" + std::to_string(count) + " " + CompactPathForLabel(path, 70));
  return true;
}

void TerminalUi::EndProgress() {
  if (!progress_shown_) return;
  progress_shown_ = false;
  std::fputs("\r\x1b[K", stderr);
  std::fflush(stderr);
}

bool TerminalUi::ChooseFolder(const std::string&, std::string*) { return false; }
bool TerminalUi::ChooseFile(const FileDialog&, std::string*) { return false; }

void TerminalUi::OpenFile(const std::string& path) {
  EndProgress();
  PrintForPeople(stderr, "日志文件: " + path + "\n");
}

}  // namespace zelk::manager::cli
