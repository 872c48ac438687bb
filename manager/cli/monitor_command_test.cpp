// zelkwaf-manager monitor end to end: the program runs in a UTF-8 locale with
// its output on pipes, is interrupted with SIGINT as Ctrl+C would, and must
// have listed, logged and deleted what it was asked to.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "platform/appendfile.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "scanner/quarantine.h"
#include "testing/files.h"

extern char** environ;

namespace {

using zelk::platform::GbkToUtf8;
using zelk::testing::FileBytes;
using zelk::testing::TempDir;

constexpr int kTimeoutMs = 30000;

// One run of the program with standard output and error on pipes, in the
// given working folder (the bytes on disk) or in this one.
class Program {
 public:
  explicit Program(const std::vector<std::string>& args, const std::string& work_dir = "") {
    int out[2], err[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    if (!work_dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, work_dir.c_str());
    std::vector<std::string> all = {ZELKWAF_MANAGER_EXE};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_strings = {"LC_ALL=C.UTF-8", "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (auto& e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    out_fd_ = out[0];
    err_fd_ = err[0];
  }
  ~Program() {
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(out_fd_);
    close(err_fd_);
  }

  // Reads both streams until `want` appears in the chosen one, both end, or
  // the time-out passes; true when it appeared.
  bool ReadUntil(const std::string& want, bool from_stdout) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
    for (;;) {
      const std::string& text = from_stdout ? out_ : err_;
      if (!want.empty() && text.find(want) != std::string::npos) return true;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || (out_done_ && err_done_)) return false;
      pollfd fds[2] = {{out_done_ ? -1 : out_fd_, POLLIN, 0},
                       {err_done_ ? -1 : err_fd_, POLLIN, 0}};
      if (poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
      Drain(fds[0], out_fd_, &out_, &out_done_);
      Drain(fds[1], err_fd_, &err_, &err_done_);
    }
  }

  // Waits for both streams to end, then for the program; its exit status.
  int Finish() {
    ReadUntil("", true);
    int status = 0;
    waitpid(pid_, &status, 0);
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  void Interrupt() { kill(pid_, SIGINT); }
  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  static void Drain(const pollfd& p, int fd, std::string* into, bool* done) {
    if (p.fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) return;
    char buf[4096];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) {
      *done = true;
    } else {
      into->append(buf, static_cast<std::size_t>(n));
    }
  }

  pid_t pid_ = -1;
  int out_fd_ = -1, err_fd_ = -1;
  std::string out_, err_;
  bool out_done_ = false, err_done_ = false, waited_ = false;
};

TEST(MonitorCommand, ListsLogsAndDeletesUntilInterrupted) {
  TempDir home;
  const std::string site = home.path() + "www/";
  ASSERT_TRUE(zelk::platform::CreateDirectories(site));
  // Without the back-door check, new files are deleted at once.
  Program run({"--home", home.path(), "monitor", "--dir", site, "--types", "*.as*,*.cer",
               "--delete-new", "--no-scan"});
  ASSERT_TRUE(run.ReadUntil(GbkToUtf8("按 Ctrl+C 结束"), false)) << run.err();

  std::ofstream(site + "shell.asp") << "<%eval%>";
  std::ofstream(site + "readme.txt") << "text";
  const std::string line = GbkToUtf8("新建 ") + site + "shell.asp " + GbkToUtf8("时间:");
  ASSERT_TRUE(run.ReadUntil(line, true)) << run.out() << run.err();
  run.Interrupt();
  EXPECT_EQ(run.Finish(), 0) << run.err();

  EXPECT_FALSE(zelk::platform::FileExists(site + "shell.asp"));
  EXPECT_TRUE(zelk::platform::FileExists(site + "readme.txt"));
  EXPECT_EQ(run.out().find("readme"), std::string::npos) << run.out();
  EXPECT_NE(run.err().find(GbkToUtf8("监控已停止")), std::string::npos) << run.err();
  // The log holds the same lines, in GBK, each ended by CR LF.
  const std::string log = FileBytes(home.path() + "Log/newmonlog.txt");
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.compare(0, 5, "\xD0\xC2\xBD\xA8 "), 0) << log;  // "新建 " in GBK
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
  EXPECT_EQ(zelk::platform::Utf8ToGbk(run.out()), [&] {
    std::string lf = log;
    std::string out;
    for (char c : lf) {
      if (c != '\r') out += c;
    }
    return out;
  }());
}

TEST(MonitorCommand, QuarantinesNewFilesAndReportsTheBackDoorsAmongThem) {
  TempDir home;
  const std::string site = home.path() + "www/";
  ASSERT_TRUE(zelk::platform::CreateDirectories(site));
  // The built-in rules beside the program, as the build copies them.
  Program run(
      {"--home", home.path(), "monitor", "--dir", site, "--types", "*.php", "--delete-new"});
  ASSERT_TRUE(run.ReadUntil(GbkToUtf8("按 Ctrl+C 结束"), false)) << run.err();
  EXPECT_NE(run.err().find(GbkToUtf8("检查Web后门 (规则 ")), std::string::npos) << run.err();

  const std::string backdoor = "<?php @eval($_POST['cmd']); ?>\n";
  std::ofstream(site + "clean.php", std::ios::binary) << "<?php echo date('Y'); ?>\n";
  std::ofstream(site + "shell.php", std::ios::binary) << backdoor;
  const std::string finding = GbkToUtf8("发现Web后门 ") + site + "shell.php [";
  ASSERT_TRUE(run.ReadUntil(finding, true)) << run.out() << run.err();
  // Moved out of the site: the watcher sees both go.
  for (const char* name : {"clean.php", "shell.php"}) {
    ASSERT_TRUE(run.ReadUntil(GbkToUtf8("删除 ") + site + name, true)) << run.out();
  }
  run.Interrupt();
  EXPECT_EQ(run.Finish(), 0) << run.err();

  EXPECT_EQ(run.out().find(GbkToUtf8("发现Web后门 ") + site + "clean.php"), std::string::npos);
  const std::string log = zelk::platform::GbkToUtf8(FileBytes(home.path() + "Log/newmonlog.txt"));
  EXPECT_NE(log.find(finding), std::string::npos) << log;
  const auto entries = zelk::scanner::ListQuarantine(home.path() + "Murrow/Quarantine");
  ASSERT_EQ(entries.size(), 2u);
  for (const auto& e : entries) {
    const bool shell = e.original_path == site + "shell.php";
    EXPECT_TRUE(shell || e.original_path == site + "clean.php") << e.original_path;
    EXPECT_EQ(e.rules.empty(), !shell) << e.original_path;
    if (shell) {
      EXPECT_EQ(FileBytes(home.path() + "Murrow/Quarantine/" + e.id + ".bin"), backdoor);
      EXPECT_NE(run.out().find(finding + e.rules + "] "), std::string::npos) << run.out();
    }
  }
}

TEST(MonitorCommand, RelativeFoldersAreTakenFromAChineseCurrentFolder) {
  TempDir home;
  const std::string cwd = home.path() + "网站";  // GBK; UTF-8 on disk
  ASSERT_TRUE(zelk::platform::CreateDirectories(cwd + "/sub"));
  Program run({"--home", "..", "monitor", "--dir", "sub", "--types", "*.asp"}, GbkToUtf8(cwd));
  ASSERT_TRUE(run.ReadUntil(GbkToUtf8("按 Ctrl+C 结束"), false)) << run.err();
  EXPECT_NE(run.err().find(GbkToUtf8("开始监控 " + cwd + "/sub 类型")), std::string::npos)
      << run.err();
  std::ofstream(GbkToUtf8(cwd + "/sub/a.asp")) << "x";
  const std::string line = "新建 " + cwd + "/sub/a.asp 时间:";
  ASSERT_TRUE(run.ReadUntil(GbkToUtf8(line), true)) << run.out() << run.err();
  run.Interrupt();
  EXPECT_EQ(run.Finish(), 0) << run.err();
  // The relative manager folder is the parent of the current one.
  EXPECT_EQ(FileBytes(home.path() + "Log/newmonlog.txt").rfind(line, 0), 0u);
}

TEST(MonitorCommand, TakesItsDefaultsFromConfigIni) {
  TempDir home;
  const std::string site = home.path() + "site/";
  ASSERT_TRUE(zelk::platform::CreateDirectories(site));
  std::string error;
  // MonType 1 is "*.*tm*".
  ASSERT_TRUE(zelk::platform::WriteWholeFile(
      home.path() + "Config.ini", "[Config]\r\nMonDir=" + site + "\r\nMonType=1\r\n", &error));
  Program run({"--home", home.path(), "monitor"});
  ASSERT_TRUE(run.ReadUntil(GbkToUtf8("按 Ctrl+C 结束"), false)) << run.err();
  EXPECT_NE(run.err().find("*.*tm*"), std::string::npos) << run.err();
  std::ofstream(site + "index.html") << "x";
  ASSERT_TRUE(run.ReadUntil(site + "index.html", true)) << run.out();
  run.Interrupt();
  EXPECT_EQ(run.Finish(), 0);
  EXPECT_TRUE(zelk::platform::FileExists(site + "index.html"));  // DelNewFile defaults to off
}

TEST(MonitorCommand, RefusesBadUsageAndMissingDirectories) {
  TempDir home;
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;  // in the output, GBK
  };
  const Case cases[] = {
      {{"monitor", "--help"}, 0, "--delete-new"},
      {{"monitor", "--dir", home.path() + "none"}, 2, "选择的目录不存在请重试"},
      {{"monitor", "--dir"}, 2, "--dir"},
      {{"monitor", "--rules"}, 2, "--rules"},
      {{"monitor", "--frobnicate"}, 2, "--frobnicate"},
      {{"monitor", "--dir", home.path(), "--types", " "}, 2, "--types"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--home", home.path()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Program run(args);
    EXPECT_EQ(run.Finish(), c.status) << c.args.back();
    EXPECT_NE((run.out() + run.err()).find(GbkToUtf8(c.says)), std::string::npos)
        << run.out() << run.err();
  }
}

}  // namespace
