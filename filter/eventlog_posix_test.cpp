// The event log when the disk fills in the middle of a line (here: the
// process's file size limit, which cuts a write short as a full disk does):
// the filter blocks all the same, leaves no piece of a line behind, and logs
// again once there is room.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>

#include "filter/module.h"
#include "filter/testing/fake_context.h"
#include "platform/text.h"
#include "testing/files.h"

namespace zelk::filter {
namespace {

using testing::FakeContext;

// Lowers the file size limit for its lifetime; SIGXFSZ is ignored meanwhile,
// so a write past the limit fails instead of ending the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    ok_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, old_handler_);
  }
  bool ok() const { return ok_; }

 private:
  rlimit saved_{};
  void (*old_handler_)(int) = nullptr;
  bool ok_ = false;
};

FakeContext Put(const std::string& url) {
  FakeContext ctx;
  ctx.variables = {{"HTTP_METHOD", "PUT"},
                   {"HTTP_HOST", "localhost"},
                   {"HTTP_URL", url},
                   {"URL", url},
                   {"REMOTE_ADDR", "10.0.0.5"}};
  return ctx;
}

TEST(EventLog, ALineCutShortByAFullDiskIsTakenBackAndLoggingResumes) {
  zelk::testing::TempDir dir;
  const std::string log_path = dir.path() + kEventLogFileName;
  std::ofstream(log_path, std::ios::binary).close();
  auto module = LoadModule(dir.path());
  ASSERT_TRUE(module->log.is_open());

  FakeContext first = Put("/a.asp");
  EXPECT_EQ(HttpFilterProc(*module, first, kNotifyPreprocHeaders), kStatusReqFinished);
  const std::string one_line = zelk::testing::FileBytes(log_path);
  ASSERT_FALSE(one_line.empty());
  {
    FileSizeLimit limit(one_line.size() + 10);  // room for 10 bytes of the next line
    ASSERT_TRUE(limit.ok());
    for (int i = 0; i < 3; ++i) {
      FakeContext full = Put("/b.asp");
      EXPECT_EQ(HttpFilterProc(*module, full, kNotifyPreprocHeaders), kStatusReqFinished);
      EXPECT_FALSE(full.written.empty());  // the block page went out all the same
    }
    EXPECT_EQ(zelk::testing::FileBytes(log_path), one_line);
  }
  FakeContext again = Put("/c.asp");
  EXPECT_EQ(HttpFilterProc(*module, again, kNotifyPreprocHeaders), kStatusReqFinished);
  const std::vector<std::string> lines = SplitLines(zelk::testing::FileBytes(log_path));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size() + 2, one_line.size());
  EXPECT_EQ(lines[1].size(), lines[0].size());  // whole: the same message, another time
}

}  // namespace
}  // namespace zelk::filter
