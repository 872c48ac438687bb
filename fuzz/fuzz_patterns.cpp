// The built-in injection patterns over decoded query strings and cookies, as
// the request rules run them: every input is decided within the match limits,
// the JIT and the interpreter give the same verdict, and so do each text
// matched by PCRE alone and its fast form behind the quick test that lets
// most values skip it, as the filter runs it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "filter/decode.h"
#include "filter/patterns.h"
#include "fuzz/check.h"

using namespace zelk::filter;

namespace {

struct Compiled {
  Pattern jit[2];
  Pattern interpreted[2];
  Pattern gated[2];   // as the filter runs them: fast forms behind the gate
  Pattern folded[2];  // the same texts on the folded subject, always run
};

const Compiled& Patterns() {
  static const Compiled* compiled = [] {
    auto* c = new Compiled;
    for (int i = 0; i < 2; ++i) {
      const std::string text = BuiltinPatternText(i + 1);
      c->jit[i] = Pattern::Compile(text, true);
      c->interpreted[i] = Pattern::Compile(text, false);
      c->gated[i] = Pattern::CompileBuiltin(i + 1);
      c->folded[i] = Pattern::Compile(text, true, {}, /*fold_subject=*/true);
      FUZZ_CHECK(c->jit[i].ok() && c->interpreted[i].ok() && c->gated[i].ok() && c->folded[i].ok());
    }
    return c;
  }();
  return *compiled;
}

void CheckSubject(std::string_view subject) {
  const Compiled& c = Patterns();
  for (int i = 0; i < 2; ++i) {
    const MatchResult with_jit = c.jit[i].Match(subject);
    const MatchResult without = c.interpreted[i].Match(subject);
    // A built-in pattern never needs the bounds: hitting one would turn an
    // ordinary request into a block.
    FUZZ_CHECK(with_jit != MatchResult::kLimitExceeded);
    FUZZ_CHECK(without != MatchResult::kLimitExceeded);
    FUZZ_CHECK(with_jit == without);
    FUZZ_CHECK(c.gated[i].Match(subject) == c.folded[i].Match(subject));
  }
  // The fold is done in one go: what it leaves, it leaves alone.
  std::string folded, again;
  if (FoldSubject(subject, &folded)) FUZZ_CHECK(!FoldSubject(folded, &again));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = zelk::fuzz::AsText(data, size);
  CheckSubject(DecodeQueryText(text));
  for (const std::string& joined : RepeatedParameterValues(text)) CheckSubject(joined);
  return 0;
}
