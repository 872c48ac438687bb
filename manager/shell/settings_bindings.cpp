#include "manager/shell/settings_bindings.h"

#include "manager/shell/layout.h"

namespace zelk::manager::shell {

using filter::FilterSettings;

const std::array<FieldBinding<FilterSettings>, 17> kFilterKeyControls = {{
    {idChkPostShell, &FilterSettings::DenyShell},
    {idChkMETHOD, &FilterSettings::DenyPutMethod},
    {idChkIISVer, &FilterSettings::DenyIISVER},
    {idChkAnonymousLogin, &FilterSettings::AnonymousLogin},
    {idChkGET, &FilterSettings::SqlGet},
    {idChkCookie, &FilterSettings::SqlCookie},
    {idChkPost, &FilterSettings::SqlPost},
    {idChkRANGE, &FilterSettings::DenyMultiDown},
    {idChk403err, &FilterSettings::Deny403Err},
    {idChk500err, &FilterSettings::Deny500Err},
    {idChkFileExtDown, &FilterSettings::DenyFileExtDown},
    {idChkWirteLog, &FilterSettings::WirteLog},
    {idChkLearn, &FilterSettings::LearnMode},
    {idEdtGet, &FilterSettings::SqlGetValue},
    {idEdtCookie, &FilterSettings::SqlCookieValue},
    {idEdtPost, &FilterSettings::SqlPostValue},
    {idEdtFileExtDown, &FilterSettings::DenyFileExtDownValue},
}};

const std::array<FieldBinding<ManagerSettings>, 10> kConfigKeyControls = {{
    {idChkdelnew, &ManagerSettings::DelNewFile},
    {idCbbmonfileext, &ManagerSettings::MonType},
    {idEdtmondir, &ManagerSettings::MonDir},
    {idEdtchkdir, &ManagerSettings::ChkDir},
    {idEdtchklog, &ManagerSettings::ChkLog},
    {idCbbchkfileext, &ManagerSettings::ChkType},
    {idCbbchkfilesize, &ManagerSettings::ChkSizeNum},
    {idChkRun, &ManagerSettings::IsRun},
    {idChkAMon, &ManagerSettings::IsMon},
    {idChkSkin, &ManagerSettings::Skin},
}};

namespace {

template <typename Record, std::size_t N>
void Show(const Record& record, const std::array<FieldBinding<Record>, N>& table,
          PageFields& pages) {
  for (const FieldBinding<Record>& b : table) {
    if (const auto* flag = std::get_if<bool Record::*>(&b.member)) {
      pages.SetChecked(b.control, record.*(*flag));
    } else if (const auto* number = std::get_if<int Record::*>(&b.member)) {
      pages.SetComboPosition(b.control, record.*(*number));
    } else if (const auto* text = std::get_if<std::string Record::*>(&b.member)) {
      pages.SetText(b.control, record.*(*text));
    }
  }
}

template <typename Record, std::size_t N>
Record Read(const std::array<FieldBinding<Record>, N>& table, const PageFields& pages) {
  Record record;
  for (const FieldBinding<Record>& b : table) {
    if (const auto* flag = std::get_if<bool Record::*>(&b.member)) {
      record.*(*flag) = pages.Checked(b.control);
    } else if (const auto* number = std::get_if<int Record::*>(&b.member)) {
      record.*(*number) = pages.ComboPosition(b.control);
    } else if (const auto* text = std::get_if<std::string Record::*>(&b.member)) {
      record.*(*text) = pages.Text(b.control);
    }
  }
  return record;
}

template <typename Record, std::size_t N>
void ShowFlags(const Record& record, const std::array<FieldBinding<Record>, N>& table,
               PageFields& pages) {
  for (const FieldBinding<Record>& b : table) {
    if (const auto* flag = std::get_if<bool Record::*>(&b.member))
      pages.SetChecked(b.control, record.*(*flag));
  }
}

}  // namespace

void ShowOnPages(const FilterSettings& settings, PageFields& pages) {
  Show(settings, kFilterKeyControls, pages);
}

void ShowOnPages(const ManagerSettings& settings, PageFields& pages) {
  Show(settings, kConfigKeyControls, pages);
}

FilterSettings FilterSettingsOnPages(const PageFields& pages) {
  return Read(kFilterKeyControls, pages);
}

ManagerSettings ManagerSettingsOnPages(const PageFields& pages) {
  return Read(kConfigKeyControls, pages);
}

void ShowCheckBoxDefaults(PageFields& pages) {
  ShowFlags(FilterSettings{}, kFilterKeyControls, pages);
  ShowFlags(ManagerSettings{}, kConfigKeyControls, pages);
}

}  // namespace zelk::manager::shell
