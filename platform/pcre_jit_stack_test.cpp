#include "platform/pcre_jit_stack.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace zelk::platform {
namespace {

struct Compiled {
  pcre* code = nullptr;
  pcre_extra* extra = nullptr;
  explicit Compiled(const char* pattern, bool jit = true) {
    const char* error = nullptr;
    int offset = 0;
    code = pcre_compile(pattern, PCRE_DOTALL, &error, &offset, nullptr);
    extra = pcre_study(code, jit ? PCRE_STUDY_JIT_COMPILE : 0, &error);
  }
  ~Compiled() {
    if (extra != nullptr) pcre_free_study(extra);
    pcre_free(code);
  }
  Compiled(const Compiled&) = delete;
  Compiled& operator=(const Compiled&) = delete;
  bool jit() const {
    int on = 0;
    return pcre_fullinfo(code, extra, PCRE_INFO_JIT, &on) == 0 && on == 1;
  }
};

// The same results as pcre_exec for every way in: JIT code or not, offsets,
// a subject that needs more than the thread's default 32 KB JIT stack, and a
// null subject, which pcre_exec refuses.
TEST(JitExec, GivesWhatPcreExecGivesWithALargerStack) {
  JitStackPool pool(32 * 1024, 1024 * 1024);
  const Compiled repeated("^(?:a|b)*c$");
  const Compiled plain("^(?:a|b)*c$", /*jit=*/false);
  ASSERT_TRUE(repeated.jit());
  ASSERT_FALSE(plain.jit());
  const std::string deep = std::string(20000, 'a') + "c";
  struct Case {
    const Compiled* re;
    std::string subject;
    int start;
  };
  const Case cases[] = {{&repeated, "abc", 0}, {&repeated, "abd", 0}, {&repeated, "xxabc", 2},
                        {&plain, "abc", 0},    {&plain, "abd", 0},    {&repeated, "abc", 4},
                        {&repeated, deep, 0}};
  for (const Case& c : cases) {
    int ours[3] = {-1, -1, -1};
    const int rc = JitExec(pool, c.re->code, c.re->extra, c.subject.data(),
                           static_cast<int>(c.subject.size()), c.start, 0, ours, 3);
    int theirs[3] = {-1, -1, -1};
    const int expected = pcre_exec(c.re->code, c.re->extra, c.subject.data(),
                                   static_cast<int>(c.subject.size()), c.start, 0, theirs, 3);
    if (c.subject == deep) {
      // The thread's own stack is too small for this one; the pool's is not.
      EXPECT_EQ(expected, PCRE_ERROR_JIT_STACKLIMIT);
      EXPECT_EQ(rc, 1);
      continue;
    }
    EXPECT_EQ(rc, expected) << c.subject << " from " << c.start;
    if (rc > 0) {
      EXPECT_EQ(ours[1], theirs[1]) << c.subject;
    }
  }
  EXPECT_EQ(JitExec(pool, repeated.code, repeated.extra, nullptr, 0, 0, 0, nullptr, 0),
            PCRE_ERROR_NULL);
}

// A stack is reused once given back: the pool holds no more stacks than
// there were matches at once, however many matches and threads there were.
TEST(JitStackPool, HoldsNoMoreStacksThanMatchesAtOnce) {
  JitStackPool pool(32 * 1024, 512 * 1024);
  for (int i = 0; i < 100; ++i) (void)pool.Take();
  EXPECT_EQ(pool.made(), 1u);
  {
    const JitStackPool::Lease a = pool.Take();
    const JitStackPool::Lease b = pool.Take();
    const JitStackPool::Lease c = pool.Take();
    EXPECT_NE(a.get(), b.get());
    EXPECT_NE(b.get(), c.get());
    EXPECT_EQ(pool.made(), 3u);
  }
  const Compiled re("^(?:a|b)*c$");
  const std::string subject = std::string(20000, 'b') + "c";
  constexpr int kThreads = 8;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        if (JitExec(pool, re.code, re.extra, subject.data(), static_cast<int>(subject.size()), 0, 0,
                    nullptr, 0) != 0) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_LE(pool.made(), static_cast<std::size_t>(kThreads));
}

}  // namespace
}  // namespace zelk::platform
