// zelkwaf-scan: finds web back doors in files and folders with the built-in
// rules (the "rules" folder beside the program) and any rule folders given.
//
// Standard output carries one line per finding, "infected<TAB>PATH<TAB>RULE,..."
// (and "clean<TAB>PATH" with --list), for scripts; standard error carries
// rule errors, unreadable files, the progress line (on a terminal only) and
// the summary.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/console.h"
#include "scanner/scanner.h"

namespace {

namespace scan = zelk::scanner;
using zelk::platform::ForTerminal;
using zelk::platform::FromTerminal;

constexpr int kExitClean = 0;
constexpr int kExitFound = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "用法: zelkwaf-scan [--rules 目录]... [--jobs N] [--list] [--all] [--max-size 大小] 路径...\n"
    "\n"
    "用 Web 后门规则(YARA 语言)检查文件和目录(含子目录)。内置规则在本程序旁的 rules 目录;\n"
    "--rules 再加入一个规则目录(其中每个 .yar/.yara 文件), 可重复。有错误的规则文件被报告并跳过。\n"
    "\n"
    "检查的文件: 服务器脚本扩展名(asp asa cer cdx aspx ashx asmx ascx php php3-7 pht phtml phar\n"
    "jsp jspx jspf inc shtml cshtml, 也认 IIS 的 \"x.asp;.jpg\"), 以图片文件头开始的文件, 以及前 4 "
    "KB\n"
    "中有脚本标记(<?php <?= <% runat=server <jsp:)的文件; 不超过 8 MB。\n"
    "\n"
    "  --jobs N        用 N 个线程(默认 2)\n"
    "  --list          也为每个干净的文件输出 clean<TAB>路径\n"
    "  --all           检查所有文件, 不论类型\n"
    "  --max-size 大小 文件大小上限, 如 512K, 8M(默认), 20M\n"
    "\n"
    "每个发现输出一行: infected<TAB>路径<TAB>规则[,规则...]。在终端上显示进度; 最后输出统计。\n"
    "退出码: 0 没有发现; 1 有发现; 2 用法错误、路径不存在或没有可用的规则(且没有发现)。\n";

void PrintErr(const std::string& gbk) { std::fputs(ForTerminal(gbk).c_str(), stderr); }

bool ParseSize(const std::string& text, std::uint64_t* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  std::uint64_t scale = 1;
  const std::string suffix(end);
  if (suffix == "K" || suffix == "k") {
    scale = 1024;
  } else if (suffix == "M" || suffix == "m") {
    scale = 1024 * 1024;
  } else if (!suffix.empty() || end == text.c_str()) {
    return false;
  }
  *out = v * scale;
  return v > 0;
}

std::string Megabytes(std::uint64_t bytes) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return buf;
}

// Prints results as they come; the progress line lives on standard error
// and is redrawn at most five times a second.
class Printer : public scan::ScanObserver {
 public:
  Printer(bool list, bool progress) : list_(list), progress_(progress) {}

  void OnFile(const scan::FileResult& r, const scan::ScanTotals& t) override {
    switch (r.verdict) {
      case scan::Verdict::kInfected: {
        ClearProgress();
        std::string rules;
        for (const std::string& name : r.rules) rules += (rules.empty() ? "" : ",") + name;
        std::fputs(ForTerminal("infected\t" + r.path + "\t" + rules + "\n").c_str(), stdout);
        std::fflush(stdout);
        break;
      }
      case scan::Verdict::kClean:
        if (list_) {
          ClearProgress();
          std::fputs(ForTerminal("clean\t" + r.path + "\n").c_str(), stdout);
        }
        break;
      case scan::Verdict::kError:
        ClearProgress();
        PrintErr("错误: " + r.error + "\n");
        break;
      default:
        break;
    }
    if (progress_) {
      const auto now = std::chrono::steady_clock::now();
      if (now - last_ >= std::chrono::milliseconds(200)) {
        last_ = now;
        const std::string line = "已检查 " + std::to_string(t.files_scanned) + " 个文件, " +
                                 Megabytes(t.bytes_scanned) + " MB, 发现 " +
                                 std::to_string(t.infected) + " 个";
        PrintErr("\r" + line);
        shown_ = line.size();
      }
    }
  }

  void ClearProgress() {
    if (shown_ == 0) return;
    std::fputs(("\r" + std::string(shown_, ' ') + "\r").c_str(), stderr);
    shown_ = 0;
  }

 private:
  bool list_;
  bool progress_;
  std::size_t shown_ = 0;
  std::chrono::steady_clock::time_point last_{};
};

int Run(int argc, char** argv) {
  std::vector<std::string> rule_dirs{scan::DefaultRulesDir()};
  std::vector<std::string> paths;
  scan::ScanOptions options;
  options.jobs = 2;
  bool list = false;
  bool missing_value = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) {
        missing_value = true;
        return false;
      }
      *out = FromTerminal(argv[++i]);
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      std::fputs(ForTerminal(kUsage).c_str(), stdout);
      return kExitClean;
    } else if (arg == "--rules") {
      if (!value(&v)) break;
      rule_dirs.push_back(v);
    } else if (arg == "--jobs") {
      if (!value(&v)) break;
      options.jobs = std::atoi(v.c_str());
      if (options.jobs < 1 || options.jobs > 64) {
        PrintErr("--jobs 须为 1 到 64\n");
        return kExitUsage;
      }
    } else if (arg == "--max-size") {
      if (!value(&v)) break;
      if (!ParseSize(v, &options.max_file_size)) {
        PrintErr("--max-size 无效\n");
        return kExitUsage;
      }
    } else if (arg == "--list") {
      list = true;
    } else if (arg == "--all") {
      options.all_files = true;
    } else if (arg == "--") {
      for (++i; i < argc; ++i) paths.push_back(FromTerminal(argv[i]));
    } else if (arg.size() > 1 && arg[0] == '-') {
      PrintErr("未知选项: " + arg + "\n\n" + kUsage);
      return kExitUsage;
    } else {
      paths.push_back(FromTerminal(arg));
    }
  }
  if (missing_value) {
    PrintErr(std::string(argv[argc - 1]) + " 缺少参数\n");
    return kExitUsage;
  }
  if (paths.empty()) {
    PrintErr(kUsage);
    return kExitUsage;
  }

  scan::RuleSet rules;
  std::vector<scan::CompileError> errors;
  scan::LoadRuleFolders(rule_dirs, &rules, &errors);
  for (const scan::CompileError& e : errors) PrintErr("规则错误: " + e.Text() + "\n");
  if (rules.rule_count() == 0) {
    PrintErr("没有可用的规则\n");
    return kExitUsage;
  }

  Printer printer(list, zelk::platform::IsTerminal(stderr));
  const auto start = std::chrono::steady_clock::now();
  const scan::ScanTotals t = scan::ScanPaths(rules, paths, options, &printer);
  printer.ClearProgress();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  char secs[32];
  std::snprintf(secs, sizeof secs, "%.1f", seconds);
  PrintErr("检查了 " + std::to_string(t.files_scanned) + " 个文件 (" + Megabytes(t.bytes_scanned) +
           " MB, " + secs + " 秒), 发现后门 " + std::to_string(t.infected) + " 个; 跳过: 非脚本 " +
           std::to_string(t.not_scanned) + ", 过大 " + std::to_string(t.too_large) + ", 链接 " +
           std::to_string(t.outside_tree) + "; 错误 " + std::to_string(t.errors) + "; 规则 " +
           std::to_string(rules.rule_count()) + " 条\n");
  if (t.infected > 0) return kExitFound;
  return t.missing_paths > 0 ? kExitUsage : kExitClean;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zelkwaf-scan: %s\n", e.what());
    return kExitUsage;
  }
}
