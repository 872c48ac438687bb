#include "filter/settings.h"

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

void WhiteList::Reserve(std::size_t entries) {
  entries_.reserve(entries);
  index_.reserve(entries);
}

void WhiteList::Add(std::string entry) {
  index_.insert(ToAsciiLower(entry));
  entries_.push_back(std::move(entry));
}

bool WhiteList::Contains(std::string_view url) const {
  return index_.count(ToAsciiLower(url)) != 0;
}

bool LoadWhiteList(const std::string& path, WhiteList* list) {
  std::string text, error;
  if (!platform::ReadWholeFile(path, &text, &error)) return false;
  std::vector<std::string> lines = SplitLines(text);
  text = std::string();
  list->Reserve(list->entries().size() + lines.size());  // one allocation, no rehashing
  for (std::string& line : lines) list->Add(std::move(line));
  return true;
}

}  // namespace zelk::filter
