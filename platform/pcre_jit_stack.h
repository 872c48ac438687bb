// Stacks for PCRE's JIT, lent out one match at a time.
//
// A JIT match needs a stack larger than the 32 KB PCRE takes from the calling
// thread by default once a pattern repeats over a few thousand bytes. The
// stacks are not kept per thread: a thread_local holder with a destructor is
// unsafe in a mingw-w64 DLL (the emulated thread-local storage is freed before
// such destructors run, so a dying thread would free whatever pointer the
// freed block then holds), and the threads of IIS are not ours to clean up
// after. Instead a match takes an idle stack from a pool, or makes one, and
// gives it back when it ends; the pool holds as many stacks as there were
// matches at once, and frees the idle ones when it is destroyed.
//
// Thread-safety: Take may be called from any number of threads; a lease is
// used by the thread that took it. Not copyable or movable; no lease may
// outlive its pool (hosts end their matching threads before static
// destruction).
#pragma once

#include <pcre.h>

#include <mutex>
#include <utility>
#include <vector>

namespace zelk::platform {

class JitStackPool {
 public:
  // Stacks start with start_size bytes and grow up to max_size; a match that
  // needs more ends with PCRE_ERROR_JIT_STACKLIMIT.
  JitStackPool(int start_size, int max_size) : start_size_(start_size), max_size_(max_size) {}
  ~JitStackPool();
  JitStackPool(const JitStackPool&) = delete;
  JitStackPool& operator=(const JitStackPool&) = delete;

  // One stack for the length of a match. get() is null when no stack could
  // be made; pcre_jit_exec then uses the default stack of the thread.
  class Lease {
   public:
    ~Lease() {
      if (stack_ != nullptr) pool_->Give(stack_);
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    pcre_jit_stack* get() const { return stack_; }

   private:
    friend class JitStackPool;
    Lease(JitStackPool* pool, pcre_jit_stack* stack) : pool_(pool), stack_(stack) {}
    JitStackPool* pool_;
    pcre_jit_stack* stack_;
  };

  Lease Take() { return Lease(this, TakeStack()); }

  // Stacks made so far and not freed (idle or lent out).
  std::size_t made() const;

 private:
  pcre_jit_stack* TakeStack();
  void Give(pcre_jit_stack* stack);

  const int start_size_;
  const int max_size_;
  mutable std::mutex mu_;
  std::vector<pcre_jit_stack*> idle_;
  std::size_t made_ = 0;
};

// pcre_exec, with a stack of the pool lent for the call when the pattern was
// compiled by the JIT (pcre_jit_exec); the same results as pcre_exec for
// patterns without UTF-8 mode (the JIT path does not check UTF-8 subjects).
int JitExec(JitStackPool& pool, const pcre* code, const pcre_extra* extra, const char* subject,
            int length, int start_offset, int options, int* ovector, int ovector_size);

}  // namespace zelk::platform
