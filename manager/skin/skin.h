// The skin engine: one built-in look, "WEB2", painted over the standard
// controls of every window attached to it, with a run-time switch.
//
// How it works: Attach subclasses a window and all its descendants. While the
// skin is on, the subclass procedures answer the colour messages (page and
// bar backgrounds, label and box colours), paint group boxes and the page
// area's tab buttons themselves, give the tree's selected item the skin's
// highlight, and turn push buttons into owner-drawn flat buttons. While it is
// off, every message goes to the window's own procedure untouched, so the
// windows look exactly as the system draws them. SetActive repaints every
// attached window at once.
//
// Threading rule: one skin per UI thread; every method is called on that
// thread. Not copyable.
#pragma once

#include <windows.h>

#include <vector>

namespace zelk::manager::skin {

// Window classes of the manager whose background the skin paints.
inline constexpr char kPageClass[] = "ZelkWAFPage";
inline constexpr char kBarClass[] = "ZelkWAFBar";

// The skin's colours.
struct Palette {
  COLORREF page;        // page and window background
  COLORREF bar;         // bottom bar
  COLORREF frame;       // group box and button borders
  COLORREF caption;     // group box captions
  COLORREF label;       // field labels and slogans
  COLORREF button_top;  // button fill, top of the gradient
  COLORREF button_bottom;
  COLORREF button_text;
  COLORREF accent;  // selected tab and tree item
  COLORREF accent_text;
};

class SkinManager {
 public:
  SkinManager();
  ~SkinManager();
  SkinManager(const SkinManager&) = delete;
  SkinManager& operator=(const SkinManager&) = delete;

  // "WEB2".
  const char* SkinName() const { return "WEB2"; }
  const Palette& palette() const { return palette_; }

  // Subclasses the window and every descendant that exists now; call again
  // for controls made later. A window is attached once however often this
  // is called. The window stays attached until it is destroyed.
  void Attach(HWND window);

  bool Active() const { return active_; }
  // Switches the look and repaints every attached window at once.
  void SetActive(bool active);

  // Label colour of the standard look (field labels and slogans are drawn
  // in it in both looks).
  static constexpr COLORREF kLabelColour = RGB(67, 76, 88);

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                       DWORD_PTR ref);
  LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool* handled);
  static BOOL CALLBACK AttachChild(HWND child, LPARAM self);
  void AttachOne(HWND hwnd);
  void ApplyButtonStyles();
  void PaintGroupBox(HWND hwnd);
  void PaintTabs(HWND hwnd);
  void DrawFlatButton(const DRAWITEMSTRUCT& item);
  HBRUSH BackgroundBrushFor(HWND parent);

  Palette palette_;
  bool active_ = true;
  std::vector<HWND> windows_;
  std::vector<HWND> push_buttons_;
  HBRUSH page_brush_ = nullptr;
  HBRUSH bar_brush_ = nullptr;
  HBRUSH white_brush_ = nullptr;
};

}  // namespace zelk::manager::skin
