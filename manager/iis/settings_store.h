// Settings persistence: the filter settings file ("IIS\ZelkWAF.ini"), the
// manager's own "Config.ini" and the URL white list ("IIS\ZelkWAF.dst"), as
// plain records. The window copies records into its controls and back, so
// loading can never run a control's action.
//
// Both settings files go through the profile-file service one key at a time.
// Booleans are written "1"/"0", integers in decimal, texts as they stand. On
// reading, booleans and integers follow the filter's integer rule (decimal,
// or hexadecimal after 0x, 0X or $); a missing key or a text that is no
// integer (or does not fit 32 bits) gives the default; any non-zero integer is
// true. Texts come back through a 2048-byte buffer (at most 2047 bytes).
// Loading never creates a file.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "filter/settings.h"

namespace zelk::manager {

class ManagerUi;

inline constexpr char kConfigSection[] = "Config";

// "Config.ini", section "Config". The integer keys hold the list position of
// the selected item of their drop-down, -1 when none is selected.
struct ManagerSettings {
  bool DelNewFile = false;
  int MonType = 0;
  std::string MonDir = "D:\\www\\";
  std::string ChkDir = "D:\\";
  std::string ChkLog = "D:\\log.txt";
  int ChkType = 0;
  int ChkSizeNum = 0;
  bool IsRun = false;
  bool IsMon = false;
  bool Skin = true;
};

enum class KeyKind { kBoolean, kInteger, kText };

// One key of "Config.ini"; exactly one member pointer is set. Integers must lie
// in [min, max] when set from outside (the window's lists bound them).
struct ConfigKey {
  const char* name;
  KeyKind kind;
  bool ManagerSettings::*flag;
  int ManagerSettings::*number;
  std::string ManagerSettings::*text;
  int min, max;
};

// In the order the manager writes them.
inline const std::array<ConfigKey, 10> kConfigKeys = {{
    {"DelNewFile", KeyKind::kBoolean, &ManagerSettings::DelNewFile, nullptr, nullptr, 0, 1},
    {"MonType", KeyKind::kInteger, nullptr, &ManagerSettings::MonType, nullptr, -1, 3},
    {"MonDir", KeyKind::kText, nullptr, nullptr, &ManagerSettings::MonDir, 0, 0},
    {"ChkDir", KeyKind::kText, nullptr, nullptr, &ManagerSettings::ChkDir, 0, 0},
    {"ChkLog", KeyKind::kText, nullptr, nullptr, &ManagerSettings::ChkLog, 0, 0},
    {"ChkType", KeyKind::kInteger, nullptr, &ManagerSettings::ChkType, nullptr, -1, 4},
    {"ChkSizeNum", KeyKind::kInteger, nullptr, &ManagerSettings::ChkSizeNum, nullptr, -1, 4},
    {"IsRun", KeyKind::kBoolean, &ManagerSettings::IsRun, nullptr, nullptr, 0, 1},
    {"IsMon", KeyKind::kBoolean, &ManagerSettings::IsMon, nullptr, nullptr, 0, 1},
    {"Skin", KeyKind::kBoolean, &ManagerSettings::Skin, nullptr, nullptr, 0, 1},
}};

// The filter settings keys in the order the manager writes them (the order of
// its pages): the 13 switches, then the 4 texts. Their defaults and members
// are those of filter::kSwitchKeys and filter::kTextKeys.
inline constexpr std::array<const char*, 17> kFilterKeyWriteOrder = {{
    "DenyShell",
    "DenyPutMethod",
    "DenyIISVER",
    "AnonymousLogin",
    "SqlGet",
    "SqlCookie",
    "SqlPost",
    "DenyMultiDown",
    "Deny403Err",
    "Deny500Err",
    "DenyFileExtDown",
    "WirteLog",
    "LearnMode",
    "SqlGetValue",
    "SqlCookieValue",
    "SqlPostValue",
    "DenyFileExtDownValue",
}};

// Items of the drop-downs whose positions "Config.ini" stores.
inline constexpr std::array<const char*, 4> kMonTypeItems = {
    {"*.*p*", "*.*tm*", "*.as*,*.cer,*.inc", "*.*"}};
inline constexpr std::array<const char*, 5> kChkTypeItems = {
    {"*.asp,*.asa,*.inc", "*.php", "*.jsp", "*.aspx", "*.*"}};
inline constexpr std::array<const char*, 5> kChkSizeItems = {{"1M", "5M", "10M", "50M", "100M"}};
inline constexpr std::array<int, 5> kChkSizeMiB = {{1, 5, 10, 50, 100}};

// The text a drop-down shows for a stored position: the item, or empty when
// no item is selected (-1 or a position past the list).
std::string MonTypeMask(int position);
std::string ChkTypeMask(int position);
// The snapshot size limit in MiB for a stored position: 1 when none.
int ChkSizeLimitMiB(int position);

// Reading; a missing file gives every default.
filter::FilterSettings LoadFilterSettings(const std::string& path);
ManagerSettings LoadManagerSettings(const std::string& path);

// SaveFilterSettings / SaveManagerSettings: every key, in writing order, each
// written at once. A key the profile service refuses ends the save there with
// ManagerError "Unable to write to <path>"; keys written before it stay.
void SaveFilterSettings(const std::string& path, const filter::FilterSettings& settings);
void SaveManagerSettings(const std::string& path, const ManagerSettings& settings);

// Every key and its value as the file holds it, in writing order.
std::vector<std::pair<std::string, std::string>> FilterSettingsAsText(
    const filter::FilterSettings& s);
std::vector<std::pair<std::string, std::string>> ManagerSettingsAsText(const ManagerSettings& s);

// Sets one key (name found regardless of ASCII case) from its text: booleans
// "0" or "1", integers in decimal within the key's range, texts without line
// breaks and shorter than 2048 bytes. false when the record has no such key;
// throws ManagerError for a value the key cannot hold.
bool SetFilterSetting(filter::FilterSettings* s, const std::string& key, const std::string& value);
bool SetManagerSetting(ManagerSettings* s, const std::string& key, const std::string& value);

// LoadUrlList: when the file exists, replaces the entries by its lines (split
// at CR LF, CR or LF; empty lines kept as empty entries) and returns true;
// when it does not, leaves them and returns false. A file that exists but
// cannot be read throws ManagerError "Cannot open file "<path>". <reason>".
bool LoadUrlList(const std::string& path, std::vector<std::string>* entries);

// SaveUrlList: rewrites the file, each entry followed by CR LF (an empty list
// gives an empty file). Throws ManagerError "Cannot create file "<path>".
// <reason>" when the file cannot be written.
void SaveUrlList(const std::string& path, const std::vector<std::string>& entries);

// Adding a white-list entry: the text becomes the first entry, unchanged (no trimming, no
// check for empty text or duplicates).
void AddUrlEntry(std::vector<std::string>* entries, const std::string& text);

// Deleting the selected white-list entry (-1: none selected, which shows
// "请选择要删除的行" with MsgBox style 64 and changes nothing). True when an
// entry was deleted.
bool DeleteUrlEntry(std::vector<std::string>* entries, int selected, ManagerUi& ui);

}  // namespace zelk::manager
