// The filter settings file ("ZelkWAF.ini", section "ZelkWAF") and the URL
// white list ("ZelkWAF.dst"). The key table below is the one description of
// the file: the filter's reader and the manager's writer both walk it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::filter {

inline constexpr char kSettingsSection[] = "ZelkWAF";
inline constexpr char kSettingsFileName[] = "ZelkWAF.ini";
inline constexpr char kWhiteListFileName[] = "ZelkWAF.dst";
inline constexpr char kEventLogFileName[] = "ZelkWAFLog.txt";
inline constexpr char kDefaultDenyFileExt[] = ".mdb|.inc|.bak|.asa|.cer|.cdx|";

// The 13 switches and 4 texts, named like their keys.
struct FilterSettings {
  bool DenyShell = true;
  bool DenyPutMethod = true;
  bool DenyIISVER = true;
  bool AnonymousLogin = true;
  bool SqlGet = true;
  bool SqlPost = true;
  bool SqlCookie = true;
  bool DenyMultiDown = true;
  bool Deny403Err = true;
  bool Deny500Err = true;
  bool DenyFileExtDown = true;
  bool WirteLog = true;  // the key is spelled so in the file
  bool LearnMode = false;
  std::string SqlGetValue;
  std::string SqlPostValue;
  std::string SqlCookieValue;
  std::string DenyFileExtDownValue = kDefaultDenyFileExt;
};

struct SwitchKey {
  const char* name;
  bool FilterSettings::*member;
  bool default_value;
};

struct TextKey {
  const char* name;
  std::string FilterSettings::*member;
  const char* default_value;
};

// In the order the filter reads them.
inline constexpr std::array<SwitchKey, 13> kSwitchKeys = {{
    {"DenyShell", &FilterSettings::DenyShell, true},
    {"DenyPutMethod", &FilterSettings::DenyPutMethod, true},
    {"DenyIISVER", &FilterSettings::DenyIISVER, true},
    {"AnonymousLogin", &FilterSettings::AnonymousLogin, true},
    {"SqlGet", &FilterSettings::SqlGet, true},
    {"SqlPost", &FilterSettings::SqlPost, true},
    {"SqlCookie", &FilterSettings::SqlCookie, true},
    {"DenyMultiDown", &FilterSettings::DenyMultiDown, true},
    {"Deny403Err", &FilterSettings::Deny403Err, true},
    {"Deny500Err", &FilterSettings::Deny500Err, true},
    {"DenyFileExtDown", &FilterSettings::DenyFileExtDown, true},
    {"WirteLog", &FilterSettings::WirteLog, true},
    {"LearnMode", &FilterSettings::LearnMode, false},
}};

inline constexpr std::array<TextKey, 4> kTextKeys = {{
    {"SqlGetValue", &FilterSettings::SqlGetValue, ""},
    {"SqlPostValue", &FilterSettings::SqlPostValue, ""},
    {"SqlCookieValue", &FilterSettings::SqlCookieValue, ""},
    {"DenyFileExtDownValue", &FilterSettings::DenyFileExtDownValue, kDefaultDenyFileExt},
}};

// Reads the settings file with the profile-file rules through a 2048-byte
// buffer. A missing file or key gives the default; a switch that is not a
// number gives its default; any other number is on unless it is 0.
FilterSettings LoadSettings(const std::string& path);

// URL paths exempt from the injection checks. Lookup compares whole texts
// ignoring ASCII letter case (bytes 'A'-'Z' only, so GBK text is compared
// byte for byte) in constant time whatever the length of the list.
//
// The entries' bytes sit one after another in one buffer (for a loaded file,
// the file's own text), found through their offsets and an open-addressing
// hash index of entry numbers, so that a list of a million lines loads with a
// handful of allocations rather than several per line.
//
// Copyable. Contains never writes: it may be called from any number of
// threads once the list is no longer being added to.
class WhiteList {
 public:
  void Add(std::string_view entry);
  // Adds every line of text (CR LF, LF and a lone CR each end a line; a last
  // line without an end counts; an empty text has none).
  void AddLines(std::string text);
  bool Contains(std::string_view url) const;

  std::size_t size() const { return spans_.size(); }
  std::string_view entry(std::size_t i) const {
    return std::string_view(text_).substr(spans_[i].offset, spans_[i].size);
  }
  // Copies of all entries, in order (duplicates kept).
  std::vector<std::string> entries() const;

 private:
  struct Span {
    std::size_t offset;
    std::size_t size;
  };
  struct Slot {
    std::uint32_t hash;
    std::uint32_t entry_plus_one;  // 0: empty
  };
  static std::uint32_t HashFolded(std::string_view text);
  void Index(std::size_t first, const std::vector<std::uint32_t>& hashes);
  void Grow(std::size_t entries);

  std::string text_;
  std::vector<Span> spans_;
  std::vector<Slot> slots_;  // a power of two, at most half full
  std::size_t indexed_ = 0;  // distinct entries in slots_
};

// Adds every line of the file to the list; false when the file cannot be read.
bool LoadWhiteList(const std::string& path, WhiteList* list);

}  // namespace zelk::filter
