#include "platform/pcre_jit_stack.h"

namespace zelk::platform {

JitStackPool::~JitStackPool() {
  // At the end of a process other threads may have been stopped anywhere,
  // even holding the lock; their stacks are then left to the system.
  if (!mu_.try_lock()) return;
  for (pcre_jit_stack* stack : idle_) pcre_jit_stack_free(stack);
  idle_.clear();
  mu_.unlock();
}

std::size_t JitStackPool::made() const {
  std::lock_guard<std::mutex> hold(mu_);
  return made_;
}

pcre_jit_stack* JitStackPool::TakeStack() {
  {
    std::lock_guard<std::mutex> hold(mu_);
    if (!idle_.empty()) {
      pcre_jit_stack* stack = idle_.back();
      idle_.pop_back();
      return stack;
    }
  }
  pcre_jit_stack* stack = pcre_jit_stack_alloc(start_size_, max_size_);
  if (stack != nullptr) {
    std::lock_guard<std::mutex> hold(mu_);
    ++made_;
  }
  return stack;
}

void JitStackPool::Give(pcre_jit_stack* stack) {
  std::lock_guard<std::mutex> hold(mu_);
  try {
    idle_.push_back(stack);
  } catch (...) {
    pcre_jit_stack_free(stack);
    --made_;
  }
}

int JitExec(JitStackPool& pool, const pcre* code, const pcre_extra* extra, const char* subject,
            int length, int start_offset, int options, int* ovector, int ovector_size) {
  // pcre_jit_exec leaves the checks of the arguments to pcre_exec; a
  // pattern without JIT code, a null subject or a mode the JIT did not
  // compile goes the way of pcre_exec.
  constexpr int kJitOptions = PCRE_NOTBOL | PCRE_NOTEOL | PCRE_NOTEMPTY | PCRE_NOTEMPTY_ATSTART |
                              PCRE_NO_UTF8_CHECK | PCRE_PARTIAL_SOFT | PCRE_PARTIAL_HARD;
  if (extra != nullptr &&
      (extra->flags & (PCRE_EXTRA_EXECUTABLE_JIT | PCRE_EXTRA_TABLES)) ==
          PCRE_EXTRA_EXECUTABLE_JIT &&
      (options & ~kJitOptions) == 0 && extra->executable_jit != nullptr && subject != nullptr &&
      length >= 0 && start_offset >= 0 && start_offset <= length &&
      (ovector != nullptr || ovector_size == 0) && ovector_size >= 0) {
    const JitStackPool::Lease lease = pool.Take();
    const int rc = pcre_jit_exec(code, extra, subject, length, start_offset, options, ovector,
                                 ovector_size, lease.get());
    if (rc != PCRE_ERROR_JIT_BADOPTION) return rc;
  }
  return pcre_exec(code, extra, subject, length, start_offset, options, ovector, ovector_size);
}

}  // namespace zelk::platform
