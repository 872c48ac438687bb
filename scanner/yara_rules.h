// Rules in the YARA language, compiled and matched by our own engine over PCRE.
//
// The engine takes the part of the language that web-shell rules are written
// in:
//   - rule, private rule, global rule, tags (ignored), meta (kept as text);
//   - strings: text ("..." with \" \\ \n \r \t \xHH) with the modifiers
//     nocase, wide, ascii, fullword, private; hex strings with ?? and nibble
//     wildcards, jumps [n], [n-m], [n-], [-] and alternatives ( .. | .. );
//     regular expressions /.../is with nocase, ascii, fullword, private;
//   - conditions: and, or, not, true, false, comparisons, + - * \ % & | ^ ~
//     << >>, $a, $a at N, $a in (A..B), #a, #a in (A..B), @a, @a[i], !a, !a[i],
//     N of (...), any of, all of, them, $prefix*, filesize, (u)int8/16/32 and
//     their "be" forms, references to earlier rules of the same file, and the
//     external string variables filename, filepath, extension, filetype and
//     owner with ==, !=, contains, icontains, startswith, istartswith,
//     endswith, iendswith, iequals and matches.
// Anything else (import, include, for loops, xor, base64, wide regular
// expressions, modules, floats, ...) is a compile error
// "FILE:LINE: feature not supported: WHAT", and so are the errors libyara
// itself reports (unreferenced or duplicate strings, undefined identifiers,
// syntax errors). A file with an error contributes no rule; the other files
// are unaffected.
//
// Each source file is its own namespace, as if added to libyara with the
// file's name as namespace: rule references and global rules act within it.
//
// Matching follows libyara's results: every occurrence of a string is a match
// (overlapping ones too); a regular expression matches at each offset where it
// matches anchored, with the length PCRE's leftmost-first rule gives. Two
// bounds keep hostile files cheap: all text strings and the literal part
// ("atom") of each hex string and regular expression are found in one pass
// over the data, and a regular expression runs only when its atom occurs; and
// every PCRE call has a match limit (past it, the string has no further
// matches in that file). A string keeps at most kMaxMatchesPerString matches.
// libyara stops a regular-expression match after 4096 bytes; rules that must
// agree with it keep their repetitions bounded below that.
//
// RuleSet may be moved but not copied. Compiling is not thread-safe; once
// compiled, Match may be called from any number of threads at once.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::scanner {

inline constexpr std::size_t kMaxMatchesPerString = 1000000;

// What a rule may know of the file besides its bytes (external variables).
struct Externals {
  std::string filename;   // bare name: "a.asp;.jpg"
  std::string filepath;   // the path as scanned
  std::string extension;  // after the last '.', lower case, without the dot: "jpg"
  std::string filetype;   // from the first bytes: "GIF", "JPEG", "PNG", "BMP", "EXE",
                          // "ZIP", "PDF", or "" when none of those
  std::string owner;      // the file owner's account name, "" when unknown
};

// The names of the external variables, in the order of Externals' members.
inline constexpr const char* kExternalNames[] = {"filename", "filepath", "extension", "filetype",
                                                 "owner"};

// The type of a file by its first bytes, as Externals::filetype.
std::string FileTypeOf(std::string_view head);

struct CompileError {
  std::string file;
  int line = 0;
  std::string message;
  // "FILE:LINE: MESSAGE"
  std::string Text() const;
};

struct RuleInfo {
  std::string name;
  std::string file;
  bool is_private = false;
  bool is_global = false;
};

class RuleSet {
 public:
  RuleSet();
  ~RuleSet();
  RuleSet(RuleSet&&) noexcept;
  RuleSet& operator=(RuleSet&&) noexcept;
  RuleSet(const RuleSet&) = delete;
  RuleSet& operator=(const RuleSet&) = delete;

  // Compiles one file's text. On an error appends it to *errors and keeps
  // nothing of this file; returns whether the file compiled.
  bool AddSource(const std::string& file_name, std::string_view text,
                 std::vector<CompileError>* errors);

  // The names of the rules (not private ones) that match, in the order they
  // were compiled.
  std::vector<std::string> Match(std::string_view data, const Externals& externals) const;

  std::vector<RuleInfo> Rules() const;
  std::size_t rule_count() const;

  // Whether the regular expressions of sources added from now on use PCRE's
  // JIT (on by default, where the library has one) or its interpreter. For
  // tests and fuzzing: a verdict never depends on it.
  void SetJit(bool on);

  struct Impl;  // the compiled form, defined in yara_internal.h

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace zelk::scanner
