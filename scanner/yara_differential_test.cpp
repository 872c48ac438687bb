// Our engine against libyara (Debian's libyara-dev, Linux only), which is
// the reference for what a YARA rule means: the feature table and every
// built-in rule file are compiled with both, and every verdict is compared,
// on the web-shell set (as found and behind an image header) and on
// generated files (slices of samples, case flips, random bytes). Any
// difference is a fault of ours.
#include <gtest/gtest.h>
#include <yara.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "scanner/scanner.h"
#include "scanner/yara_feature_cases.h"
#ifdef ZELK_HAVE_WEBSHELL_SET
#include "testing/webshell_set.h"
#endif

namespace zelk::scanner {
namespace {

class Libyara : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_EQ(yr_initialize(), ERROR_SUCCESS); }
  void TearDown() override { yr_finalize(); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new Libyara);

// Rules compiled by libyara, one namespace per source as our engine keeps.
class YaraRules {
 public:
  YaraRules() = default;
  ~YaraRules() {
    if (rules_ != nullptr) yr_rules_destroy(rules_);
  }
  YaraRules(const YaraRules&) = delete;
  YaraRules& operator=(const YaraRules&) = delete;

  // Sources as (name, text); false with the compiler's messages in *error.
  bool Compile(const std::vector<std::pair<std::string, std::string>>& sources,
               std::string* error) {
    YR_COMPILER* compiler = nullptr;
    if (yr_compiler_create(&compiler) != ERROR_SUCCESS) return false;
    yr_compiler_set_callback(compiler, &YaraRules::OnCompileMessage, error);
    for (const char* name : kExternalNames) yr_compiler_define_string_variable(compiler, name, "");
    int failures = 0;
    for (const auto& [name, text] : sources) {
      failures += yr_compiler_add_string(compiler, text.c_str(), name.c_str());
    }
    const bool ok = failures == 0 && yr_compiler_get_rules(compiler, &rules_) == ERROR_SUCCESS;
    yr_compiler_destroy(compiler);
    return ok;
  }

  std::set<std::string> Match(const std::string& data, const Externals& ext) {
    const std::string values[] = {ext.filename, ext.filepath, ext.extension, ext.filetype,
                                  ext.owner};
    for (std::size_t i = 0; i < std::size(kExternalNames); ++i) {
      yr_rules_define_string_variable(rules_, kExternalNames[i], values[i].c_str());
    }
    std::set<std::string> found;
    const int rc = yr_rules_scan_mem(rules_, reinterpret_cast<const std::uint8_t*>(data.data()),
                                     data.size(), 0, &YaraRules::OnScan, &found, 0);
    EXPECT_EQ(rc, ERROR_SUCCESS);
    return found;
  }

 private:
  static void OnCompileMessage(int level, const char* file, int line, const YR_RULE*,
                               const char* message, void* user) {
    if (level != YARA_ERROR_LEVEL_ERROR) return;
    *static_cast<std::string*>(user) += std::string(file != nullptr ? file : "") + ":" +
                                        std::to_string(line) + ": " + message + "\n";
  }
  static int OnScan(YR_SCAN_CONTEXT*, int message, void* data, void* user) {
    if (message == CALLBACK_MSG_RULE_MATCHING) {
      const auto* rule = static_cast<const YR_RULE*>(data);
      if (!RULE_IS_PRIVATE(rule))
        static_cast<std::set<std::string>*>(user)->insert(rule->identifier);
    }
    return CALLBACK_CONTINUE;
  }

  YR_RULES* rules_ = nullptr;
};

std::set<std::string> OurMatch(const RuleSet& rules, const std::string& data,
                               const Externals& ext) {
  const std::vector<std::string> found = rules.Match(data, ext);
  return {found.begin(), found.end()};
}

Externals ExternalsFor(const std::string& name, const std::string& data) {
  Externals e;
  e.filename = name.substr(name.rfind('/') + 1);
  e.filepath = "/site/" + name;
  const std::size_t dot = e.filename.rfind('.');
  if (dot != std::string::npos) e.extension = e.filename.substr(dot + 1);
  e.filetype = FileTypeOf(data);
  e.owner = "www-data";
  return e;
}

TEST(YaraDifferential, FeatureCasesAgreeWithLibyara) {
  for (const FeatureCase& c : FeatureCases()) {
    YaraRules theirs;
    std::string error;
    ASSERT_TRUE(theirs.Compile({{"t.yar", c.rule}}, &error)) << c.rule << "\n" << error;
    RuleSet ours;
    std::vector<CompileError> errors;
    ASSERT_TRUE(ours.AddSource("t.yar", c.rule, &errors)) << c.rule;
    Externals ext = ExternalsFor(c.filename, c.data);
    ext.filepath = "/site/" + c.filename;
    const std::set<std::string> expected = theirs.Match(c.data, ext);
    EXPECT_EQ(OurMatch(ours, c.data, ext), expected) << c.rule << "\ndata: " << c.data;
    EXPECT_EQ(!expected.empty(), c.matches) << "the table disagrees with libyara: " << c.rule;
  }
}

// The built-in rules, each file compiled by both.
struct BuiltIn {
  RuleSet ours;
  YaraRules theirs;
};

std::vector<std::pair<std::string, std::string>> BuiltInSources() {
  const std::string dir = std::string(ZELK_SOURCE_DIR) + "/scanner/rules/";
  std::vector<std::pair<std::string, std::string>> sources;
  const auto e = platform::DirEnumerator::Open(dir);
  platform::DirEntry entry;
  while (e && e->Next(&entry)) {
    if (entry.name.size() > 4 && entry.name.substr(entry.name.size() - 4) == ".yar") {
      std::string text, error;
      EXPECT_TRUE(platform::ReadWholeFile(dir + entry.name, &text, &error)) << error;
      sources.emplace_back(entry.name, text);
    }
  }
  std::sort(sources.begin(), sources.end());
  return sources;
}

TEST(YaraDifferential, BuiltInRulesAgreeWithLibyaraOnGeneratedFiles) {
  const auto sources = BuiltInSources();
  ASSERT_GE(sources.size(), 4u);
  BuiltIn b;
  std::string error;
  ASSERT_TRUE(b.theirs.Compile(sources, &error)) << error;
  for (const auto& [name, text] : sources) {
    std::vector<CompileError> errors;
    EXPECT_TRUE(b.ours.AddSource(name, text, &errors)) << errors[0].Text();
  }
  // Pieces of the rules' own vocabulary, glued with random bytes and case
  // flips, so that strings occur, nearly occur and overlap.
  const std::vector<std::string> words = {
      "<?php ",
      "<%",
      "%>",
      "eval(",
      "eval (",
      "assert(",
      "$_POST['x']",
      "$_GET[\"a\"]",
      "base64_decode(",
      "gzinflate(",
      "str_rot13(",
      "system($",
      "exec($c)",
      "request(\"x\")",
      "Execute Request(",
      "WScript.Shell",
      ".Exec(",
      "cmd.exe",
      "Runtime.getRuntime().exec(",
      "request.getParameter(\"c\")",
      "GIF89a",
      "\xff\xd8\xff\xe0",
      "chr(101).chr(118).",
      "move_uploaded_file($_FILES['f']['tmp_name'], $_FILES['f']['name'])",
      "'a'.'s'.'s'.'e'.'r'.'t'",
      "\\x65\\x76\\x61\\x6c",
      "preg_replace(\"/.*/e\",",
      "Process.Start(",
      "ProcessStartInfo",
      "Scripting.FileSystemObject",
      ".DeleteFile",
      "posix_getpwuid",
      "safe_mode",
      "shell_exec(",
      ";",
      "\n",
      " ",
      "(",
      ")",
      "\"",
      "'",
      "$",
      "_"};
  std::mt19937 rng(20261209);
  for (int round = 0; round < 600; ++round) {
    std::string data;
    if (round % 3 == 0) data = round % 2 ? "GIF89a\x01\x00" : "<?php ";
    const int pieces = 1 + static_cast<int>(rng() % 40);
    for (int p = 0; p < pieces; ++p) {
      if (rng() % 4 == 0) {
        data += static_cast<char>(rng() % 256);
      } else {
        std::string w = words[rng() % words.size()];
        if (rng() % 3 == 0) {
          for (char& c : w) c = static_cast<char>(rng() % 2 ? std::toupper(c) : std::tolower(c));
        }
        data += w;
      }
    }
    const std::string name = round % 2 ? "up/x.php" : "up/y.asp;.jpg";
    const Externals ext = ExternalsFor(name, data);
    EXPECT_EQ(OurMatch(b.ours, data, ext), b.theirs.Match(data, ext)) << "round " << round;
  }
}

TEST(YaraDifferential, BuiltInRulesAgreeWithLibyaraOnTheWebShellSet) {
#ifndef ZELK_HAVE_WEBSHELL_SET
  GTEST_SKIP() << "built without liblzma: cannot read the web-shell set";
#else
  std::vector<testing::ArchiveMember> members;
  std::string error;
  if (!testing::ReadWebShellSet(ZELK_SOURCE_DIR, &members, &error)) GTEST_SKIP() << error;
  const auto sources = BuiltInSources();
  BuiltIn b;
  ASSERT_TRUE(b.theirs.Compile(sources, &error)) << error;
  for (const auto& [name, text] : sources) {
    std::vector<CompileError> errors;
    EXPECT_TRUE(b.ours.AddSource(name, text, &errors));
  }
  int differences = 0;
  for (std::size_t i = 0; i < members.size(); ++i) {
    const testing::ArchiveMember& m = members[i];
    std::string data = m.data;
    // Every eighth file also behind an image header, and every eighth cut
    // short at a random place.
    if (i % 8 == 1) data = "GIF89a\x01\x00\x01\x00\x80\x00\x00" + data;
    if (i % 8 == 5) data.resize(data.size() / 2);
    const Externals ext = ExternalsFor(m.name, data);
    const std::set<std::string> theirs = b.theirs.Match(data, ext);
    const std::set<std::string> ours = OurMatch(b.ours, data, ext);
    if (ours != theirs && ++differences <= 10) {
      std::string a, t;
      for (const std::string& r : ours) a += r + " ";
      for (const std::string& r : theirs) t += r + " ";
      ADD_FAILURE() << m.name << ": ours [" << a << "] libyara [" << t << "]";
    }
  }
  EXPECT_EQ(differences, 0);
#endif
}

}  // namespace
}  // namespace zelk::scanner
