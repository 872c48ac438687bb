// Throughput of the back-door scanner over one uploaded file part, fed in the
// 64 KB pieces a multipart parser hands over.
// Run: build/native/bench/backdoor_bench
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "filter/backdoor.h"

namespace {

std::string RandomData(std::size_t size) {
  std::mt19937_64 rng(7);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(rng());
  return out;
}

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Scan(benchmark::State& state, const std::string& data) {
  if (data.empty()) {
    state.SkipWithError("sample file absent (scripts/setup.sh installs it)");
    return;
  }
  constexpr std::size_t kPiece = 64 * 1024;
  for (auto _ : state) {
    zelk::filter::BackdoorScanner scanner;
    for (std::size_t at = 0; at < data.size(); at += kPiece) {
      scanner.Feed(std::string_view(data).substr(at, kPiece));
    }
    benchmark::DoNotOptimize(scanner.found());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_Random8MB(benchmark::State& state) {
  static const std::string data = RandomData(8 << 20);
  Scan(state, data);
}

void BM_Jpeg(benchmark::State& state) {
  static const std::string data =
      ReadFile("/usr/share/doc/imagemagick-6-common/html/images/examples.jpg");
  Scan(state, data);
}

void BM_Pdf(benchmark::State& state) {
  static const std::string data = ReadFile("/usr/share/doc/libtasn1-doc/libtasn1.pdf");
  Scan(state, data);
}

// The slow case: text after an opener all the way, so every byte is searched.
void BM_PhpSource1MB(benchmark::State& state) {
  static const std::string data = [] {
    std::string s = "<?php\n";
    while (s.size() < (1 << 20)) {
      s += "function row_" + std::to_string(s.size()) +
           "($db, $id) { $r = $db->query('SELECT * FROM t WHERE id=' . (int)$id); "
           "echo htmlspecialchars($_GET['q']); return $r; }\n";
    }
    return s;
  }();
  Scan(state, data);
}

void BM_XmlText1MB(benchmark::State& state) {
  static const std::string data = [] {
    std::string s = "<?xml version=\"1.0\"?>\n<items>\n";
    while (s.size() < (1 << 20)) {
      s += "<item id=\"" + std::to_string(s.size()) +
           "\"><name>Widget</name><price currency=\"EUR\">12.50</price></item>\n";
    }
    return s;
  }();
  Scan(state, data);
}

BENCHMARK(BM_Random8MB);
BENCHMARK(BM_Jpeg);
BENCHMARK(BM_Pdf);
BENCHMARK(BM_PhpSource1MB);
BENCHMARK(BM_XmlText1MB);

}  // namespace
