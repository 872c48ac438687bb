// pattern_report: where the injection patterns stand on the tuning corpus.
//
// For each corpus file and each place a value can arrive (text 1 in the
// query string; text 2 in the cookie and in a form body), prints
// matched/total for the tuning share, the hold-out share and the whole file,
// and the most frequent shapes of the values missed (attack files) or
// blocked (benign files).
//
// Usage: pattern_report [options] [corpus-dir]
//   --text1 FILE, --text2 FILE  try a pattern text from a file instead of the
//                               built-in one (one line; a final line feed is
//                               not part of it)
//   --shapes N                  shapes listed per file and place (default 20)
//   --lines N                   example values listed per file and place
//                               (default 0), from the tuning share only
//   --encoding browser|percent|unicode   how values are written on the wire
//   --no-jit                    match with the interpreter
// Exit status 0; 2 on a usage error or an unreadable pattern or corpus.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "filter/patterns.h"
#include "filter/patterns/corpus_harness.h"

namespace {

using namespace zelk::filter;
using namespace zelk::filter::corpus;

struct Place {
  const char* name;
  int text;
  bool cookie;
};
constexpr Place kPlaces[] = {
    {"query/text1", 1, false}, {"cookie/text2", 2, true}, {"form/text2", 2, false}};

struct FileSpec {
  const char* name;
  bool attack;
};
constexpr FileSpec kFiles[] = {{"attack.txt", true},        {"attack-blind.txt", true},
                               {"benign.txt", false},       {"benign-gbk.txt", false},
                               {"benign-prose.txt", false}, {"benign-prose-gbk.txt", false},
                               {"probes.txt", false}};

struct Count {
  std::size_t hits = 0, total = 0;
  void Add(bool hit) {
    ++total;
    if (hit) ++hits;
  }
  std::string Text() const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%zu/%zu (%.2f%%)", hits, total,
                  total == 0 ? 0.0 : 100.0 * hits / total);
    return buf;
  }
};

constexpr char kUsage[] =
    "usage: pattern_report [options] [corpus-dir]\n"
    "  --text1 FILE, --text2 FILE  try a pattern text from a file instead of the built-in one\n"
    "  --shapes N                  shapes listed per file and place (default 20)\n"
    "  --lines N                   example values listed per file and place (default 0)\n"
    "  --encoding browser|percent|unicode   how values are written on the wire\n"
    "  --no-jit                    match with the interpreter\n";

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr, "pattern_report: %s\n%s", why, kUsage);
  std::exit(2);
}

std::string PatternFromFile(const char* path) {
  std::string text;
  if (!ReadFile(path, &text)) Usage("cannot read a pattern file");
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = ZELK_CORPUS_DIR;
  std::string texts[3];
  std::size_t shapes = 20, examples = 0;
  bool jit = true;
  Encoding encoding = Encoding::kBrowser;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> const char* {
      if (i + 1 >= argc) Usage("an option lacks its value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--text1") {
      texts[1] = PatternFromFile(next());
    } else if (arg == "--text2") {
      texts[2] = PatternFromFile(next());
    } else if (arg == "--shapes") {
      shapes = std::strtoul(next(), nullptr, 10);
    } else if (arg == "--lines") {
      examples = std::strtoul(next(), nullptr, 10);
    } else if (arg == "--no-jit") {
      jit = false;
    } else if (arg == "--encoding") {
      const std::string e = next();
      if (e == "browser") {
        encoding = Encoding::kBrowser;
      } else if (e == "percent") {
        encoding = Encoding::kPercentLetter;
      } else if (e == "unicode") {
        encoding = Encoding::kUnicode;
      } else {
        Usage("--encoding takes browser, percent or unicode");
      }
    } else if (!arg.empty() && arg[0] == '-') {
      Usage(("unknown option " + arg).c_str());
    } else {
      dir = arg;
    }
  }
  Pattern patterns[3];
  for (int n = 1; n <= 2; ++n) {
    patterns[n] = texts[n].empty() ? Pattern::CompileBuiltin(n, jit)
                                   : Pattern::Compile(texts[n], jit, {}, /*fold_subject=*/true);
    if (!patterns[n].ok()) {
      std::fprintf(stderr, "text %d: %s\n", n, patterns[n].error().c_str());
      return 2;
    }
    const std::size_t size = texts[n].empty() ? BuiltinPatternText(n).size() : texts[n].size();
    std::printf("text %d: %zu bytes%s\n", n, size, texts[n].empty() ? " (built-in)" : "");
  }

  for (const FileSpec& file : kFiles) {
    std::string data;
    if (!ReadFile(dir + "/" + file.name, &data)) {
      std::fprintf(stderr, "cannot read %s/%s\n", dir.c_str(), file.name);
      return 2;
    }
    const std::vector<std::string> lines = SplitLines(data);
    for (const Place& place : kPlaces) {
      Count tune, hold, whole;
      std::map<std::string, std::size_t> shape_count;
      std::vector<const std::string*> listed;
      for (const std::string& line : lines) {
        const std::string subject =
            place.cookie ? AsCookie(line, encoding) : AsQuery(line, encoding);
        const bool hit = MatchPattern(patterns[place.text], subject);
        (InHoldOut(line) ? hold : tune).Add(hit);
        whole.Add(hit);
        if (hit != file.attack && !InHoldOut(line)) {
          ++shape_count[Shape(line)];
          if (listed.size() < examples) listed.push_back(&line);
        }
      }
      std::printf("\n%s %s: tuning %s, hold-out %s, whole %s\n", file.name, place.name,
                  tune.Text().c_str(), hold.Text().c_str(), whole.Text().c_str());
      std::vector<std::pair<std::size_t, std::string>> by_count;
      for (const auto& [shape, count] : shape_count) by_count.emplace_back(count, shape);
      std::sort(by_count.begin(), by_count.end(),
                [](const auto& a, const auto& b) { return a.first > b.first; });
      const char* what = file.attack ? "missed" : "blocked";
      for (std::size_t i = 0; i < by_count.size() && i < shapes; ++i) {
        std::printf("  %s %4zu  %.160s\n", what, by_count[i].first, by_count[i].second.c_str());
      }
      for (const std::string* line : listed) std::printf("  e.g. %.300s\n", line->c_str());
    }
  }
  return 0;
}
