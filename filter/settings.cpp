#include "filter/settings.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "platform/files.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace zelk::filter {

FilterSettings LoadSettings(const std::string& path) {
  FilterSettings s;
  for (const SwitchKey& k : kSwitchKeys) {
    const std::string text = platform::GetProfileString(path, kSettingsSection, k.name, "");
    long long value = 0;
    s.*k.member = platform::ParseProfileInt(text, &value) ? value != 0 : k.default_value;
  }
  for (const TextKey& k : kTextKeys) {
    s.*k.member = platform::GetProfileString(path, kSettingsSection, k.name, k.default_value);
  }
  return s;
}

namespace {

// FNV-1a over the bytes as lower case, folded to 32 bits at the end.
constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

inline std::uint64_t HashStep(std::uint64_t h, char c) {
  return (h ^ static_cast<unsigned char>(AsciiLower(c))) * kFnvPrime;
}

inline std::uint32_t HashEnd(std::uint64_t h) { return static_cast<std::uint32_t>(h ^ (h >> 32)); }

}  // namespace

std::uint32_t WhiteList::HashFolded(std::string_view text) {
  std::uint64_t h = kFnvOffset;
  for (const char c : text) h = HashStep(h, c);
  return HashEnd(h);
}

void WhiteList::Grow(std::size_t entries) {
  std::size_t capacity = slots_.empty() ? 16 : slots_.size();
  while (capacity < 2 * entries) capacity *= 2;
  if (capacity == slots_.size()) return;
  std::vector<Slot> old(capacity, Slot{0, 0});
  old.swap(slots_);
  const std::size_t mask = slots_.size() - 1;
  for (const Slot& s : old) {
    if (s.entry_plus_one == 0) continue;
    std::size_t at = s.hash & mask;
    while (slots_[at].entry_plus_one != 0) at = (at + 1) & mask;
    slots_[at] = s;
  }
}

// Indexes the entries from first on, whose hashes are given in order: each
// text once, whatever its letter case.
void WhiteList::Index(std::size_t first, const std::vector<std::uint32_t>& hashes) {
  // Entry numbers are kept in 32 bits; past that the list cannot grow.
  if (spans_.size() > 0xFFFFFFFFu) throw std::length_error("white list too long");
  Grow(indexed_ + hashes.size());
  const std::size_t mask = slots_.size() - 1;
  // A new entry's slot is almost never in the cache; asking for it some
  // entries ahead hides most of the wait.
  constexpr std::size_t kAhead = 16;
  for (std::size_t k = 0; k < hashes.size(); ++k) {
#if defined(__GNUC__)
    if (k + kAhead < hashes.size()) __builtin_prefetch(&slots_[hashes[k + kAhead] & mask]);
#endif
    const std::size_t i = first + k;
    const std::uint32_t hash = hashes[k];
    const std::string_view text = entry(i);
    std::size_t at = hash & mask;
    bool present = false;
    while (slots_[at].entry_plus_one != 0) {
      const Slot& s = slots_[at];
      if (s.hash == hash && EqualsIgnoreAsciiCase(entry(s.entry_plus_one - 1), text)) {
        present = true;
        break;
      }
      at = (at + 1) & mask;
    }
    if (present) continue;
    slots_[at] = Slot{hash, static_cast<std::uint32_t>(i + 1)};
    ++indexed_;
  }
}

void WhiteList::Add(std::string_view entry) {
  spans_.push_back(Span{text_.size(), entry.size()});
  text_.append(entry);
  Index(spans_.size() - 1, {HashFolded(entry)});
}

void WhiteList::AddLines(std::string text) {
  const std::size_t first = spans_.size();
  const std::size_t base = text_.size();
  if (text_.empty()) {
    text_ = std::move(text);
  } else {
    text_.append(text);
  }
  const char* s = text_.data();
  const std::size_t n = text_.size();
  // Line feeds tell how many lines to make room for (a file that ends its
  // lines with a lone CR only grows the vectors as it goes).
  const std::size_t estimate = static_cast<std::size_t>(std::count(s + base, s + n, '\n')) + 1;
  spans_.reserve(first + estimate);
  std::vector<std::uint32_t> hashes;
  hashes.reserve(estimate);
  // One pass: the line ends and each line's hash.
  std::size_t start = base;
  std::uint64_t h = kFnvOffset;
  for (std::size_t i = base; i < n; ++i) {
    const char c = s[i];
    if (c != '\r' && c != '\n') {
      h = HashStep(h, c);
      continue;
    }
    spans_.push_back(Span{start, i - start});
    hashes.push_back(HashEnd(h));
    h = kFnvOffset;
    if (c == '\r' && i + 1 < n && s[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < n) {
    spans_.push_back(Span{start, n - start});
    hashes.push_back(HashEnd(h));
  }
  Index(first, hashes);
}

bool WhiteList::Contains(std::string_view url) const {
  if (slots_.empty()) return false;
  const std::uint32_t hash = HashFolded(url);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask; slots_[at].entry_plus_one != 0; at = (at + 1) & mask) {
    const Slot& s = slots_[at];
    if (s.hash == hash && EqualsIgnoreAsciiCase(entry(s.entry_plus_one - 1), url)) return true;
  }
  return false;
}

std::vector<std::string> WhiteList::entries() const {
  std::vector<std::string> out;
  out.reserve(spans_.size());
  for (std::size_t i = 0; i < spans_.size(); ++i) out.emplace_back(entry(i));
  return out;
}

bool LoadWhiteList(const std::string& path, WhiteList* list) {
  std::string text, error;
  if (!platform::ReadWholeFile(path, &text, &error)) return false;
  list->AddLines(std::move(text));
  return true;
}

}  // namespace zelk::filter
