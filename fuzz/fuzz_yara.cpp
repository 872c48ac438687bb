// The web-shell scanner's rule engine. The input is rule source, then the
// mark "\n----\n", then file bytes (without the mark, all of it is both):
//   - the source compiles, or fails with one error that names the file and a
//     line inside it; compiled rules are matched against the bytes (bounded,
//     so that a rule of the fuzzer's own cannot stall the run) without harm;
//   - the built-in rules match every input within their bounds, and give the
//     same rules with PCRE's JIT as with its interpreter (a verdict that hung
//     on the match limit of one and not the other would let a padded back
//     door through).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "scanner/scanner.h"
#include "scanner/yara_rules.h"

using namespace zelk::scanner;

namespace {

constexpr char kFileName[] = "fuzz.yar";
// Rules the fuzzer writes may be as slow as a user's rules; only their
// correctness is in question here, so they see a short file.
constexpr std::size_t kOwnRuleDataLimit = 512;

struct BuiltIn {
  RuleSet jit;
  RuleSet interpreted;
};

const BuiltIn& BuiltInRules() {
  static const BuiltIn* built = [] {
    auto* b = new BuiltIn;
    b->interpreted.SetJit(false);
    for (RuleSet* set : {&b->jit, &b->interpreted}) {
      std::vector<CompileError> errors;
      LoadRuleFolders({ZELK_SCANNER_RULES_DIR}, set, &errors);
      FUZZ_CHECK(errors.empty());
      FUZZ_CHECK(set->rule_count() > 0);
    }
    return b;
  }();
  return *built;
}

Externals ExternalsFor(std::string_view data) {
  Externals e;
  e.filename = "a.asp;.jpg";
  e.filepath = "D:\\www\\up\\a.asp;.jpg";
  e.extension = "jpg";
  e.filetype = FileTypeOf(data.substr(0, 4096));
  return e;
}

int LineCount(std::string_view text) {
  int lines = 1;
  for (char c : text) lines += c == '\n';
  return lines;
}

void CheckOwnRules(std::string_view source, std::string_view data) {
  RuleSet rules;
  std::vector<CompileError> errors;
  const bool ok = rules.AddSource(kFileName, source, &errors);
  if (!ok) {
    FUZZ_CHECK(errors.size() == 1);
    const CompileError& e = errors[0];
    FUZZ_CHECK(e.file == kFileName);
    FUZZ_CHECK(e.line >= 1 && e.line <= LineCount(source));
    FUZZ_CHECK(!e.message.empty());
    FUZZ_CHECK(e.Text().rfind(std::string(kFileName) + ":" + std::to_string(e.line) + ": ", 0) ==
               0);
    FUZZ_CHECK(rules.rule_count() == 0);
    return;
  }
  FUZZ_CHECK(errors.empty());
  data = data.substr(0, kOwnRuleDataLimit);
  const std::vector<std::string> matched = rules.Match(data, ExternalsFor(data));
  const std::vector<RuleInfo> all = rules.Rules();
  // Only rules of this source, none private, none twice.
  for (std::size_t i = 0; i < matched.size(); ++i) {
    bool known = false;
    for (const RuleInfo& r : all) known = known || (r.name == matched[i] && !r.is_private);
    FUZZ_CHECK(known);
    for (std::size_t j = 0; j < i; ++j) FUZZ_CHECK(matched[j] != matched[i]);
  }
}

void CheckBuiltInRules(std::string_view data) {
  const BuiltIn& b = BuiltInRules();
  const Externals externals = ExternalsFor(data);
  FUZZ_CHECK(b.jit.Match(data, externals) == b.interpreted.Match(data, externals));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view all = zelk::fuzz::AsText(data, size);
  std::string_view source, bytes;
  zelk::fuzz::SplitAt(all, "\n----\n", &source, &bytes);
  if (bytes.empty()) bytes = all;
  CheckOwnRules(source, bytes);
  CheckBuiltInRules(bytes);
  return 0;
}
