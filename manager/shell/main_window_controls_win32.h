// The controls of the main window, built from the layout tables (layout.h):
// the navigation tree WAFList, the page area PageControl1 with its ten
// pages, and the bottom bar Panel1 with "应用" and "确定". The object owns
// what the controls use (fonts, the tree's image list, the drawn icons) and
// releases it when it goes, which must be after the window is destroyed.
//
// On the window's thread only. Neither copied nor moved: it owns GDI objects
// and the controls hold its handles.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "manager/shell/icon_art.h"
#include "manager/shell/layout.h"
#include "manager/shell/settings_bindings.h"
#include "manager/shell/win32.h"

namespace zelk::manager::shell {

// The face of the manager's control texts, and its fonts: "MS Sans Serif" 8
// points for the window, kSongTi 9 points (GB2312 character set) for the
// controls. The caller deletes the font.
inline constexpr char kSongTi[] = "宋体";
HFONT MakeFont(const char* face, int points, BYTE charset);

// Icons made from drawn pictures, destroyed with the set.
class IconSet {
 public:
  IconSet() = default;
  ~IconSet();
  IconSet(const IconSet&) = delete;
  IconSet& operator=(const IconSet&) = delete;

  // The new icon, or null when the system could not make it.
  HICON Add(Art art, int size);

 private:
  std::vector<HICON> icons_;
};

class WindowControls final : public PageFields {
 public:
  WindowControls() = default;
  ~WindowControls() override;
  WindowControls(const WindowControls&) = delete;
  WindowControls& operator=(const WindowControls&) = delete;

  // Creates every control as a child of form (which gets the window font),
  // with the drop-downs' items, the help text and the check boxes at their
  // designed defaults, and shows ts0.
  void Build(HWND form, HINSTANCE instance);
  bool built() const { return tabs_ != nullptr; }

  // Fits the tree, the page area, its pages and the bar to the form's client area.
  void Layout(HWND form);

  // Makes a page the visible one, with or without a tab.
  void ShowPage(PageId page);

  HWND tree() const { return tree_; }
  HWND tabs() const { return tabs_; }
  // The tree item at a position of kTreeItems.
  HTREEITEM tree_item(int position) const { return tree_items_.at(position); }
  // A named control, or null.
  HWND Ctl(int id) const;

  // PageFields
  bool Checked(int id) const override;
  void SetChecked(int id, bool on) override;
  std::string Text(int id) const override;
  void SetText(int id, const std::string& text) override;
  int ComboPosition(int id) const override;
  void SetComboPosition(int id, int position) override;

  // The rows of a list box, top to bottom; setting them replaces every row.
  std::vector<std::string> ListRows(int id) const;
  void SetListRows(int id, const std::vector<std::string>& rows);

 private:
  void CreateTree(HWND form, HINSTANCE instance);
  void CreateTabs(HWND form, HINSTANCE instance);
  void CreatePages(HWND form, HINSTANCE instance);
  void CreatePageControls(HINSTANCE instance);
  void CreateBar(HWND form, HINSTANCE instance);

  HWND tree_ = nullptr;
  HWND tabs_ = nullptr;
  HWND bar_ = nullptr;
  HWND pages_[kPageCount] = {};
  std::map<int, HWND> controls_;
  std::vector<HTREEITEM> tree_items_;
  HFONT window_font_ = nullptr;
  HFONT song_font_ = nullptr;
  HIMAGELIST tree_images_ = nullptr;
  IconSet icons_;
};

}  // namespace zelk::manager::shell
