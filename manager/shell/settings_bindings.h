// Which page control shows which settings key: one table for the filter
// settings file's 17 keys and one for the 10 keys of "Config.ini". Loading
// the files into the pages and reading the pages back for saving both walk
// these tables, so a key cannot be shown from one control and saved from
// another.
//
// The kind of control follows from the member's type: a bool is a check box,
// a string is the text of an edit box, an int is the position of the item a
// drop-down shows. The pages are reached through PageFields, which the
// window implements over its controls and tests implement over maps.
#pragma once

#include <array>
#include <string>
#include <variant>

#include "filter/settings.h"
#include "manager/iis/settings_store.h"

namespace zelk::manager::shell {

// The state of the pages' controls, by control identifier. Setting a control
// runs none of its actions (no click is raised).
class PageFields {
 public:
  virtual ~PageFields() = default;
  virtual bool Checked(int id) const = 0;
  virtual void SetChecked(int id, bool on) = 0;
  virtual std::string Text(int id) const = 0;
  virtual void SetText(int id, const std::string& text) = 0;
  // The position of the item the drop-down shows; -1 when its text is no item.
  virtual int ComboPosition(int id) const = 0;
  // -1, or a position past the items, leaves nothing selected.
  virtual void SetComboPosition(int id, int position) = 0;
};

template <typename Record>
struct FieldBinding {
  int control;
  std::variant<bool Record::*, int Record::*, std::string Record::*> member;
};

// The filter keys in the order they were always loaded: the 13 switches,
// then the 4 rule and extension texts.
extern const std::array<FieldBinding<filter::FilterSettings>, 17> kFilterKeyControls;
// The "Config.ini" keys in their writing order.
extern const std::array<FieldBinding<ManagerSettings>, 10> kConfigKeyControls;

void ShowOnPages(const filter::FilterSettings& settings, PageFields& pages);
void ShowOnPages(const ManagerSettings& settings, PageFields& pages);
filter::FilterSettings FilterSettingsOnPages(const PageFields& pages);
ManagerSettings ManagerSettingsOnPages(const PageFields& pages);

// Ticks or clears every bound check box as a first start shows it (the
// value of a missing key). Texts and drop-downs are left alone; loading the
// files sets them before the window is first shown.
void ShowCheckBoxDefaults(PageFields& pages);

}  // namespace zelk::manager::shell
