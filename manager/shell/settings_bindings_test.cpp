#include "manager/shell/settings_bindings.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "manager/shell/layout.h"

namespace zelk::manager::shell {
namespace {

using filter::FilterSettings;

// The name of the file key a binding's member holds.
std::string KeyOf(const FieldBinding<FilterSettings>& b) {
  for (const filter::SwitchKey& k : filter::kSwitchKeys) {
    if (b.member == decltype(b.member)(k.member)) return k.name;
  }
  for (const filter::TextKey& k : filter::kTextKeys) {
    if (b.member == decltype(b.member)(k.member)) return k.name;
  }
  return "<no key>";
}

std::string KeyOf(const FieldBinding<ManagerSettings>& b) {
  for (const ConfigKey& k : kConfigKeys) {
    if ((k.flag && b.member == decltype(b.member)(k.flag)) ||
        (k.number && b.member == decltype(b.member)(k.number)) ||
        (k.text && b.member == decltype(b.member)(k.text)))
      return k.name;
  }
  return "<no key>";
}

// The kind of control a member of this type needs.
template <typename Record>
bool KindFits(const FieldBinding<Record>& b, ControlKind kind) {
  switch (b.member.index()) {
    case 0:  // bool
      return kind == ControlKind::kCheck;
    case 1:  // int: the position of a drop-down's item
      return kind == ControlKind::kComboEdit || kind == ControlKind::kComboList;
    default:  // text
      return kind == ControlKind::kEdit || kind == ControlKind::kComboEdit;
  }
}

// Every key of both files, and the control that shows it on the pages.
TEST(SettingsBindings, EveryKeyIsShownByItsOwnControlOfTheRightKind) {
  const std::map<std::string, std::string> expected = {
      {"DenyShell", "chkPostShell"},
      {"DenyPutMethod", "chkMETHOD"},
      {"DenyIISVER", "chkIISVer"},
      {"AnonymousLogin", "chkAnonymousLogin"},
      {"SqlGet", "chkGET"},
      {"SqlCookie", "chkCookie"},
      {"SqlPost", "chkPost"},
      {"DenyMultiDown", "chkRANGE"},
      {"Deny403Err", "chk403err"},
      {"Deny500Err", "chk500err"},
      {"DenyFileExtDown", "chkFileExtDown"},
      {"WirteLog", "chkWirteLog"},
      {"LearnMode", "chkLearn"},
      {"SqlGetValue", "edtGet"},
      {"SqlCookieValue", "edtCookie"},
      {"SqlPostValue", "edtPost"},
      {"DenyFileExtDownValue", "edtFileExtDown"},
      {"DelNewFile", "chkdelnew"},
      {"MonType", "cbbmonfileext"},
      {"MonDir", "edtmondir"},
      {"ChkDir", "edtchkdir"},
      {"ChkLog", "edtchklog"},
      {"ChkType", "cbbchkfileext"},
      {"ChkSizeNum", "cbbchkfilesize"},
      {"IsRun", "chkRun"},
      {"IsMon", "chkAMon"},
      {"Skin", "chkSkin"},
  };
  std::map<std::string, std::string> bound;
  std::set<int> controls;
  auto check = [&](const auto& b) {
    const std::string key = KeyOf(b);
    SCOPED_TRACE(key);
    const ControlSpec* spec = FindControl(b.control);
    ASSERT_NE(spec, nullptr);
    EXPECT_TRUE(KindFits(b, spec->kind)) << spec->name;
    EXPECT_TRUE(controls.insert(b.control).second) << spec->name << " shows two keys";
    EXPECT_TRUE(bound.emplace(key, spec->name).second) << "bound twice";
  };
  for (const auto& b : kFilterKeyControls) check(b);
  for (const auto& b : kConfigKeyControls) check(b);
  EXPECT_EQ(bound, expected);
  EXPECT_EQ(kFilterKeyControls.size(), filter::kSwitchKeys.size() + filter::kTextKeys.size());
  EXPECT_EQ(kConfigKeyControls.size(), kConfigKeys.size());
}

// Pages held in maps, one per kind of state, so that a member set through
// one kind and read through another is caught. Reading a control that was
// never set is a failure.
class FakePages final : public PageFields {
 public:
  bool Checked(int id) const override { return Get(checks, id); }
  void SetChecked(int id, bool on) override { checks[id] = on; }
  std::string Text(int id) const override { return Get(texts, id); }
  void SetText(int id, const std::string& text) override { texts[id] = text; }
  int ComboPosition(int id) const override { return Get(positions, id); }
  void SetComboPosition(int id, int position) override { positions[id] = position; }

  std::map<int, bool> checks;
  std::map<int, std::string> texts;
  std::map<int, int> positions;

 private:
  template <typename T>
  static T Get(const std::map<int, T>& m, int id) {
    const auto it = m.find(id);
    if (it != m.end()) return it->second;
    ADD_FAILURE() << "control " << id << " read before it was set";
    return T{};
  }
};

// Loading shows a record on the pages and saving reads the same record back,
// for records in which every key differs from its default.
TEST(SettingsBindings, PagesGiveBackTheRecordTheyWereShown) {
  FilterSettings f;
  for (const filter::SwitchKey& k : filter::kSwitchKeys) f.*k.member = !k.default_value;
  for (const filter::TextKey& k : filter::kTextKeys) f.*k.member = std::string(k.name) + "|.x|";
  ManagerSettings m;
  m.DelNewFile = true;
  m.MonType = 3;
  m.MonDir = "E:\\站点\\";
  m.ChkDir = "F:\\";
  m.ChkLog = "F:\\快照.txt";
  m.ChkType = -1;
  m.ChkSizeNum = 4;
  m.IsRun = true;
  m.IsMon = true;
  m.Skin = false;

  FakePages pages;
  ShowOnPages(f, pages);
  ShowOnPages(m, pages);
  EXPECT_EQ(FilterSettingsAsText(FilterSettingsOnPages(pages)), FilterSettingsAsText(f));
  EXPECT_EQ(ManagerSettingsAsText(ManagerSettingsOnPages(pages)), ManagerSettingsAsText(m));
  EXPECT_EQ(pages.checks.size() + pages.texts.size() + pages.positions.size(), 27u);
}

// Before the files are loaded, the check boxes show the values of missing
// keys; the texts and drop-downs are not touched.
TEST(SettingsBindings, CheckBoxDefaultsSetOnlyTheCheckBoxes) {
  FakePages pages;
  ShowCheckBoxDefaults(pages);
  EXPECT_TRUE(pages.texts.empty());
  EXPECT_TRUE(pages.positions.empty());
  const std::map<int, bool> expected = {
      {idChkPostShell, true},      {idChkMETHOD, true},      {idChkIISVer, true},
      {idChkAnonymousLogin, true}, {idChkGET, true},         {idChkCookie, true},
      {idChkPost, true},           {idChkRANGE, true},       {idChk403err, true},
      {idChk500err, true},         {idChkFileExtDown, true}, {idChkWirteLog, true},
      {idChkLearn, false},         {idChkdelnew, false},     {idChkRun, false},
      {idChkAMon, false},          {idChkSkin, true},
  };
  EXPECT_EQ(pages.checks, expected);
}

}  // namespace
}  // namespace zelk::manager::shell
