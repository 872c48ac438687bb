// The scanner over real files in a temporary folder: which files are
// scanned, what each verdict is, rule folders with a broken file, external
// variables as a walk fills them, threads and cancellation.
#include "scanner/scanner.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/files.h"
#include "testing/files.h"

namespace zelk::scanner {
namespace {

const char kRules[] = R"(
rule php_eval_post { strings: $a = /eval\s*\(\s*\$_POST/ nocase condition: $a }
rule asp_eval_request { strings: $a = /eval\s+request\s*\(/ nocase condition: $a }
rule empty_file { condition: filesize == 0 }
)";

class ScannerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<CompileError> errors;
    ASSERT_TRUE(rules_.AddSource("t.yar", kRules, &errors));
  }
  std::string Path(const std::string& relative) const { return dir_.path() + relative; }
  void Write(const std::string& relative, const std::string& bytes) {
    std::string error;
    const std::size_t slash = relative.rfind(platform::PathSeparator());
    if (slash != std::string::npos) platform::CreateDirectories(Path(relative.substr(0, slash)));
    ASSERT_TRUE(platform::WriteWholeFile(Path(relative), bytes, &error)) << error;
  }

  testing::TempDir dir_;
  RuleSet rules_;
};

// Collects results by path.
class Collector : public ScanObserver {
 public:
  void OnFile(const FileResult& r, const ScanTotals&) override {
    std::lock_guard<std::mutex> lock(mutex_);
    results[r.path] = r;
  }
  std::mutex mutex_;
  std::map<std::string, FileResult> results;
};

TEST(ScannerSelection, ScansScriptsImagesAndFilesThatHoldScriptCode) {
  struct Case {
    const char* name;
    std::string head;
    bool scanned;
  };
  const Case cases[] = {
      {"a.php", "", true},
      {"A.PHP5", "", true},
      {"a.asp", "", true},
      {"x.asp;.jpg", "plain", true},
      {"x.cer", "", true},
      {"x.aspx", "", true},
      {"x.jspx", "", true},
      {"x.inc", "", true},
      {"photo.jpg", "\xff\xd8\xff\xe0 JFIF", true},
      {"photo.jpg", "plain text", false},
      {"logo.png", "\x89PNG\r\n\x1a\n", true},
      {"a.gif", "GIF89a", true},
      {"notes.txt", "hello", false},
      {"notes.txt", "see <?php eval($x); ?>", true},
      {"page.html", "<script runat=\"server\">", true},
      {"page.html", "<script>alert(1)</script>", false},
      {"readme", "<% Response.Write(1) %>", true},
      {"x.jpg;.txt", "", false},
      {"style.css", "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShouldScan(c.name, c.head), c.scanned) << c.name << " / " << c.head;
  }
}

TEST_F(ScannerTest, WalkReportsEveryFileWithItsVerdict) {
  const char sep = platform::PathSeparator();
  const std::string sub = std::string("sub") + sep + "deep" + sep;
  Write("shell.php", "<?php eval($_POST['x']); ?>");
  Write("clean.php", "<?php echo 1; ?>");
  Write("empty.php", "");
  Write("notes.txt", "nothing to see");
  Write("included.txt", "<?php eval($_POST['y']);");
  Write("photo.jpg", std::string("GIF89a\x01\x00", 8) + "<?php eval($_POST[1]);");
  Write(sub + "x.asp", "<%eval request(\"a\")%>");
  Write("big.php", std::string(3000, ' ') + "<?php eval($_POST['z']);");
  ScanOptions options;
  options.max_file_size = 2000;
  Collector c;
  const ScanTotals t = ScanPaths(rules_, {dir_.path()}, options, &c);
  const std::map<std::string, Verdict> expected = {
      {Path("shell.php"), Verdict::kInfected},    {Path("clean.php"), Verdict::kClean},
      {Path("empty.php"), Verdict::kInfected},    {Path("notes.txt"), Verdict::kNotScanned},
      {Path("included.txt"), Verdict::kInfected}, {Path("photo.jpg"), Verdict::kInfected},
      {Path(sub + "x.asp"), Verdict::kInfected},  {Path("big.php"), Verdict::kTooLarge},
  };
  ASSERT_EQ(c.results.size(), expected.size());
  for (const auto& [path, verdict] : expected) {
    ASSERT_EQ(c.results.count(path), 1u) << path;
    EXPECT_EQ(c.results[path].verdict, verdict) << path;
  }
  EXPECT_EQ(c.results[Path("shell.php")].rules, std::vector<std::string>{"php_eval_post"});
  EXPECT_EQ(c.results[Path("empty.php")].rules, std::vector<std::string>{"empty_file"});
  EXPECT_EQ(t.files_seen, 8u);
  EXPECT_EQ(t.files_scanned, 6u);
  EXPECT_EQ(t.infected, 5u);
  EXPECT_EQ(t.not_scanned, 1u);
  EXPECT_EQ(t.too_large, 1u);
  EXPECT_EQ(t.errors, 0u);
  EXPECT_FALSE(t.cancelled);

  // The same with several threads.
  options.jobs = 4;
  Collector threaded;
  const ScanTotals t4 = ScanPaths(rules_, {dir_.path()}, options, &threaded);
  EXPECT_EQ(t4.infected, t.infected);
  ASSERT_EQ(threaded.results.size(), c.results.size());
  for (const auto& [path, r] : c.results) EXPECT_EQ(threaded.results[path].verdict, r.verdict);
}

TEST_F(ScannerTest, MissingPathsAreErrorsAndSingleFilesAreScannedAsGiven) {
  Write("a.php", "<?php eval($_POST['x']);");
  Collector c;
  const ScanTotals t =
      ScanPaths(rules_, {Path("a.php"), Path("missing"), Path("a.php")}, ScanOptions{}, &c);
  EXPECT_EQ(t.missing_paths, 1u);
  EXPECT_EQ(t.errors, 1u);
  EXPECT_EQ(t.infected, 2u);
  EXPECT_EQ(c.results[Path("missing")].verdict, Verdict::kError);
  EXPECT_EQ(ScanFile(rules_, Path("a.php"), ScanOptions{}).verdict, Verdict::kInfected);
  EXPECT_EQ(ScanFile(rules_, Path("missing"), ScanOptions{}).verdict, Verdict::kError);
}

TEST_F(ScannerTest, CancellingStopsTheWalk) {
  for (int i = 0; i < 50; ++i) Write("f" + std::to_string(i) + ".php", "<?php echo 1;");
  class StopAfterFive : public ScanObserver {
   public:
    void OnFile(const FileResult&, const ScanTotals& t) override { seen = t.files_seen; }
    bool Cancelled() override { return seen >= 5; }
    std::uint64_t seen = 0;
  };
  for (int jobs : {1, 3}) {
    StopAfterFive observer;
    ScanOptions options;
    options.jobs = jobs;
    const ScanTotals t = ScanPaths(rules_, {dir_.path()}, options, &observer);
    EXPECT_TRUE(t.cancelled);
    EXPECT_LT(t.files_seen, 50u) << jobs;
    EXPECT_GE(t.files_seen, 5u) << jobs;
  }
}

TEST_F(ScannerTest, RulesSeeTheExternalVariablesOfEachFile) {
  RuleSet rules;
  std::vector<CompileError> errors;
  ASSERT_TRUE(rules.AddSource("ext.yar", R"(
    rule names { condition: filename == "x.asp;.jpg" and extension == "jpg" and
                            filepath endswith "x.asp;.jpg" and filetype == "GIF" }
    rule owned { condition: owner != "" }
  )",
                              &errors));
  Write("x.asp;.jpg", "GIF89a<%eval request(\"a\")%>");
  const FileResult r = ScanFile(rules, Path("x.asp;.jpg"), ScanOptions{});
  EXPECT_EQ(r.rules, (std::vector<std::string>{"names", "owned"}));
}

TEST_F(ScannerTest, ABrokenRuleFileIsReportedAndTheOthersLoad) {
  const char sep = platform::PathSeparator();
  Write(std::string("builtin") + sep + "a.yar", "rule a { strings: $a = \"eval\" condition: $a }");
  Write(std::string("user") + sep + "b.yar",
        "rule b {\n  strings: $b = \"x\"\n  condition: $b and\n pe.is_dll() }");
  Write(std::string("user") + sep + "c.yara", "rule c { condition: filesize > 1 }");
  Write(std::string("user") + sep + "readme.txt", "not a rule file");
  RuleSet rules;
  std::vector<CompileError> errors;
  const int compiled =
      LoadRuleFolders({Path("builtin"), Path("user"), Path("none")}, &rules, &errors);
  EXPECT_EQ(compiled, 2);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].Text(),
            Path(std::string("user") + sep + "b.yar") + ":4: feature not supported: modules (pe.)");
  EXPECT_EQ(errors[1].file, Path("none"));
  EXPECT_EQ(rules.Match("eval it", {}), (std::vector<std::string>{"a", "c"}));
}

}  // namespace
}  // namespace zelk::scanner
