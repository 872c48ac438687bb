#include "manager/iis/settings_store.h"

#include <climits>

#include "manager/common/errors.h"
#include "manager/common/ui.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace zelk::manager {
namespace {

constexpr std::size_t kProfileBuffer = 2048;
constexpr char kSelectLineToDelete[] = "请选择要删除的行";

const filter::SwitchKey* FindSwitch(std::string_view name) {
  for (const auto& k : filter::kSwitchKeys) {
    if (EqualsIgnoreAsciiCase(k.name, name)) return &k;
  }
  return nullptr;
}

const filter::TextKey* FindText(std::string_view name) {
  for (const auto& k : filter::kTextKeys) {
    if (EqualsIgnoreAsciiCase(k.name, name)) return &k;
  }
  return nullptr;
}

const ConfigKey* FindConfig(std::string_view name) {
  for (const auto& k : kConfigKeys) {
    if (EqualsIgnoreAsciiCase(k.name, name)) return &k;
  }
  return nullptr;
}

// An integer key as stored; nullopt-like false when missing or no integer.
bool ReadInteger(const std::string& path, const char* section, const char* key, int* value) {
  const std::string text = platform::GetProfileString(path, section, key, "", kProfileBuffer);
  long long v = 0;
  if (!platform::ParseProfileInt(text, &v) || v < INT_MIN || v > INT_MAX) return false;
  *value = static_cast<int>(v);
  return true;
}

bool IsProfileBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// The profile reader drops blanks around a value and then one pair of equal
// quotes enclosing it, so such a value written as it stands would come back
// changed (the pattern 'or' as or). One more pair of double quotes around it
// makes it come back exactly; all other values are written as they stand.
std::string ProtectForReading(const std::string& value) {
  if (value.empty()) return value;
  const bool blank_edge = IsProfileBlank(value.front()) || IsProfileBlank(value.back());
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  return blank_edge || quoted ? "\"" + value + "\"" : value;
}

void WriteKeys(const std::string& path, const char* section,
               const std::vector<std::pair<std::string, std::string>>& keys) {
  for (const auto& [key, value] : keys) {
    if (!platform::WriteProfileString(path, section, key, ProtectForReading(value))) {
      throw ManagerError("Unable to write to " + path);
    }
  }
}

bool ParseBoolean(const std::string& value, bool* out) {
  if (value == "0" || value == "1") {
    *out = value == "1";
    return true;
  }
  return false;
}

void CheckText(const std::string& key, const std::string& value) {
  if (value.find_first_of("\r\n") != std::string::npos) {
    throw ManagerError(key + " 的值不能包含换行");
  }
  if (value.size() >= kProfileBuffer) {
    throw ManagerError(key + " 的值太长(最多 2047 字节)");
  }
}

std::string ListItem(const char* const* items, std::size_t count, int position) {
  if (position < 0 || static_cast<std::size_t>(position) >= count) return std::string();
  return items[position];
}

}  // namespace

std::string MonTypeMask(int position) {
  return ListItem(kMonTypeItems.data(), kMonTypeItems.size(), position);
}
std::string ChkTypeMask(int position) {
  return ListItem(kChkTypeItems.data(), kChkTypeItems.size(), position);
}

int ChkSizeLimitMiB(int position) {
  if (position < 0 || static_cast<std::size_t>(position) >= kChkSizeMiB.size()) return 1;
  return kChkSizeMiB[static_cast<std::size_t>(position)];
}

filter::FilterSettings LoadFilterSettings(const std::string& path) {
  return filter::LoadSettings(path);
}

ManagerSettings LoadManagerSettings(const std::string& path) {
  ManagerSettings s;
  for (const ConfigKey& k : kConfigKeys) {
    switch (k.kind) {
      case KeyKind::kBoolean: {
        int v = 0;
        if (ReadInteger(path, kConfigSection, k.name, &v)) s.*k.flag = v != 0;
        break;
      }
      case KeyKind::kInteger:
        ReadInteger(path, kConfigSection, k.name, &(s.*k.number));
        break;
      case KeyKind::kText:
        s.*k.text =
            platform::GetProfileString(path, kConfigSection, k.name, s.*k.text, kProfileBuffer);
        break;
    }
  }
  return s;
}

std::vector<std::pair<std::string, std::string>> FilterSettingsAsText(
    const filter::FilterSettings& s) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const char* name : kFilterKeyWriteOrder) {
    if (const filter::SwitchKey* k = FindSwitch(name)) {
      out.emplace_back(k->name, s.*k->member ? "1" : "0");
    } else if (const filter::TextKey* t = FindText(name)) {
      out.emplace_back(t->name, s.*t->member);
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> ManagerSettingsAsText(const ManagerSettings& s) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const ConfigKey& k : kConfigKeys) {
    switch (k.kind) {
      case KeyKind::kBoolean:
        out.emplace_back(k.name, s.*k.flag ? "1" : "0");
        break;
      case KeyKind::kInteger:
        out.emplace_back(k.name, std::to_string(s.*k.number));
        break;
      case KeyKind::kText:
        out.emplace_back(k.name, s.*k.text);
        break;
    }
  }
  return out;
}

void SaveFilterSettings(const std::string& path, const filter::FilterSettings& settings) {
  WriteKeys(path, filter::kSettingsSection, FilterSettingsAsText(settings));
}

void SaveManagerSettings(const std::string& path, const ManagerSettings& settings) {
  WriteKeys(path, kConfigSection, ManagerSettingsAsText(settings));
}

bool SetFilterSetting(filter::FilterSettings* s, const std::string& key, const std::string& value) {
  if (const filter::SwitchKey* k = FindSwitch(key)) {
    if (!ParseBoolean(value, &(s->*k->member)))
      throw ManagerError(std::string(k->name) + " 的值只能是 0 或 1");
    return true;
  }
  if (const filter::TextKey* t = FindText(key)) {
    CheckText(t->name, value);
    s->*t->member = value;
    return true;
  }
  return false;
}

bool SetManagerSetting(ManagerSettings* s, const std::string& key, const std::string& value) {
  const ConfigKey* k = FindConfig(key);
  if (k == nullptr) return false;
  switch (k->kind) {
    case KeyKind::kBoolean:
      if (!ParseBoolean(value, &(s->*k->flag)))
        throw ManagerError(std::string(k->name) + " 的值只能是 0 或 1");
      break;
    case KeyKind::kInteger: {
      long long v = 0;
      const bool decimal =
          !value.empty() && value.find_first_not_of("-0123456789") == std::string::npos;
      if (!decimal || !platform::ParseProfileInt(value, &v) || v < k->min || v > k->max) {
        throw ManagerError(std::string(k->name) + " 的值应为 " + std::to_string(k->min) + " 到 " +
                           std::to_string(k->max) + " 之间的整数");
      }
      s->*k->number = static_cast<int>(v);
      break;
    }
    case KeyKind::kText:
      CheckText(k->name, value);
      s->*k->text = value;
      break;
  }
  return true;
}

bool LoadUrlList(const std::string& path, std::vector<std::string>* entries) {
  std::string bytes, error;
  if (!platform::ReadWholeFile(path, &bytes, &error)) {
    platform::DirEntry entry;
    if (!platform::FindFile(path, &entry)) return false;
    throw ManagerError("Cannot open file \"" + path + "\". " + error);
  }
  *entries = SplitLines(bytes);
  return true;
}

void SaveUrlList(const std::string& path, const std::vector<std::string>& entries) {
  std::string bytes;
  for (const std::string& e : entries) {
    bytes += e;
    bytes += "\r\n";
  }
  std::string error;
  if (!platform::WriteWholeFile(path, bytes, &error)) {
    throw ManagerError("Cannot create file \"" + path + "\". " + error);
  }
}

void AddUrlEntry(std::vector<std::string>* entries, const std::string& text) {
  entries->insert(entries->begin(), text);
}

bool DeleteUrlEntry(std::vector<std::string>* entries, int selected, ManagerUi& ui) {
  if (selected < 0 || static_cast<std::size_t>(selected) >= entries->size()) {
    ui.MsgBox(kSelectLineToDelete, kMsgBoxInformation);
    return false;
  }
  entries->erase(entries->begin() + selected);
  return true;
}

}  // namespace zelk::manager
