#include "manager/skin/skin.h"

// after <windows.h>, which skin.h brings.
// clang-format off
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <string>

namespace zelk::manager::skin {
namespace {

constexpr UINT_PTR kSubclassId = 0x5A4B;  // one subclass per window

std::string ClassOf(HWND hwnd) {
  char name[64] = {};
  GetClassNameA(hwnd, name, sizeof name);
  return name;
}

bool IsClass(HWND hwnd, const char* name) { return lstrcmpiA(ClassOf(hwnd).c_str(), name) == 0; }

LONG_PTR ButtonType(HWND hwnd) { return GetWindowLongPtrA(hwnd, GWL_STYLE) & BS_TYPEMASK; }

bool IsPushButton(HWND hwnd) {
  if (!IsClass(hwnd, "Button")) return false;
  const LONG_PTR t = ButtonType(hwnd);
  return t == BS_PUSHBUTTON || t == BS_DEFPUSHBUTTON || t == BS_OWNERDRAW;
}

bool IsGroupBox(HWND hwnd) { return IsClass(hwnd, "Button") && ButtonType(hwnd) == BS_GROUPBOX; }

COLORREF Mix(COLORREF a, COLORREF b, int num, int den) {
  auto ch = [&](int ca, int cb) { return ca + (cb - ca) * num / std::max(den, 1); };
  return RGB(ch(GetRValue(a), GetRValue(b)), ch(GetGValue(a), GetGValue(b)),
             ch(GetBValue(a), GetBValue(b)));
}

// A vertical gradient, one line at a time (GradientFill would need msimg32).
void FillGradient(HDC dc, const RECT& r, COLORREF top, COLORREF bottom) {
  const int h = r.bottom - r.top;
  for (int y = 0; y < h; ++y) {
    RECT line{r.left, r.top + y, r.right, r.top + y + 1};
    HBRUSH b = CreateSolidBrush(Mix(top, bottom, y, h - 1));
    FillRect(dc, &line, b);
    DeleteObject(b);
  }
}

void Frame(HDC dc, const RECT& r, COLORREF colour, int radius) {
  HPEN pen = CreatePen(PS_SOLID, 1, colour);
  HGDIOBJ old_pen = SelectObject(dc, pen);
  HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  RoundRect(dc, r.left, r.top, r.right, r.bottom, radius, radius);
  SelectObject(dc, old_brush);
  SelectObject(dc, old_pen);
  DeleteObject(pen);
}

std::string WindowText(HWND hwnd) {
  const int n = GetWindowTextLengthA(hwnd);
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  GetWindowTextA(hwnd, &s[0], n + 1);
  s.resize(std::strlen(s.c_str()));
  return s;
}

}  // namespace

SkinManager::SkinManager() {
  palette_.page = RGB(236, 243, 251);
  palette_.bar = RGB(214, 228, 244);
  palette_.frame = RGB(116, 154, 204);
  palette_.caption = RGB(22, 78, 150);
  palette_.label = kLabelColour;
  palette_.button_top = RGB(255, 255, 255);
  palette_.button_bottom = RGB(204, 222, 244);
  palette_.button_text = RGB(20, 44, 80);
  palette_.accent = RGB(48, 112, 196);
  palette_.accent_text = RGB(255, 255, 255);
  page_brush_ = CreateSolidBrush(palette_.page);
  bar_brush_ = CreateSolidBrush(palette_.bar);
  white_brush_ = CreateSolidBrush(RGB(255, 255, 255));
}

SkinManager::~SkinManager() {
  for (HWND w : windows_) RemoveWindowSubclass(w, SubclassProc, kSubclassId);
  DeleteObject(page_brush_);
  DeleteObject(bar_brush_);
  DeleteObject(white_brush_);
}

void SkinManager::Attach(HWND window) {
  AttachOne(window);
  EnumChildWindows(window, AttachChild, reinterpret_cast<LPARAM>(this));
  ApplyButtonStyles();
}

BOOL CALLBACK SkinManager::AttachChild(HWND child, LPARAM self) {
  reinterpret_cast<SkinManager*>(self)->AttachOne(child);
  return TRUE;
}

void SkinManager::AttachOne(HWND hwnd) {
  if (std::find(windows_.begin(), windows_.end(), hwnd) != windows_.end()) return;
  if (!SetWindowSubclass(hwnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
    return;
  windows_.push_back(hwnd);
  if (IsPushButton(hwnd)) push_buttons_.push_back(hwnd);
}

void SkinManager::SetActive(bool active) {
  active_ = active;
  ApplyButtonStyles();
  for (HWND w : windows_) {
    if (GetParent(w) == nullptr || !(GetWindowLongPtrA(w, GWL_STYLE) & WS_CHILD)) {
      RedrawWindow(w, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
  }
}

void SkinManager::ApplyButtonStyles() {
  // Owner-drawn while the skin is on; the system's push button while off.
  for (HWND b : push_buttons_) {
    const LONG_PTR style = GetWindowLongPtrA(b, GWL_STYLE);
    const LONG_PTR want =
        (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | (active_ ? BS_OWNERDRAW : BS_PUSHBUTTON);
    if (want != style) SetWindowLongPtrA(b, GWL_STYLE, want);
  }
}

HBRUSH SkinManager::BackgroundBrushFor(HWND parent) {
  return IsClass(parent, kBarClass) ? bar_brush_ : page_brush_;
}

LRESULT CALLBACK SkinManager::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                           DWORD_PTR ref) {
  auto* self = reinterpret_cast<SkinManager*>(ref);
  if (msg == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, SubclassProc, kSubclassId);
    auto drop = [hwnd](std::vector<HWND>& v) {
      v.erase(std::remove(v.begin(), v.end(), hwnd), v.end());
    };
    drop(self->windows_);
    drop(self->push_buttons_);
    return DefSubclassProc(hwnd, msg, wp, lp);
  }
  if (self->active_) {
    bool handled = false;
    const LRESULT r = self->Handle(hwnd, msg, wp, lp, &handled);
    if (handled) return r;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

LRESULT SkinManager::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool* handled) {
  *handled = true;
  switch (msg) {
    case WM_ERASEBKGND: {
      const bool container = IsClass(hwnd, kPageClass) || IsClass(hwnd, kBarClass) ||
                             !(GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CHILD);
      if (!container) break;
      RECT r;
      GetClientRect(hwnd, &r);
      if (IsClass(hwnd, kBarClass)) {
        FillGradient(reinterpret_cast<HDC>(wp), r, palette_.bar,
                     Mix(palette_.bar, palette_.frame, 1, 3));
        HPEN pen = CreatePen(PS_SOLID, 1, palette_.frame);
        HGDIOBJ old = SelectObject(reinterpret_cast<HDC>(wp), pen);
        MoveToEx(reinterpret_cast<HDC>(wp), r.left, r.top, nullptr);
        LineTo(reinterpret_cast<HDC>(wp), r.right, r.top);
        SelectObject(reinterpret_cast<HDC>(wp), old);
        DeleteObject(pen);
      } else {
        FillRect(reinterpret_cast<HDC>(wp), &r, page_brush_);
      }
      return 1;
    }
    case WM_PAINT:
      if (IsGroupBox(hwnd)) {
        PaintGroupBox(hwnd);
        return 0;
      }
      if (IsClass(hwnd, WC_TABCONTROLA)) {
        PaintTabs(hwnd);
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wp);
      HWND child = reinterpret_cast<HWND>(lp);
      if (IsClass(child, "Edit")) {  // read-only text boxes stay white
        SetBkColor(dc, RGB(255, 255, 255));
        SetTextColor(dc, RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(white_brush_);
      }
      const bool bar = IsClass(hwnd, kBarClass);
      SetBkColor(dc, bar ? palette_.bar : palette_.page);
      SetTextColor(dc, IsClass(child, "Static") ? palette_.label : RGB(24, 32, 44));
      return reinterpret_cast<LRESULT>(BackgroundBrushFor(hwnd));
    }
    case WM_CTLCOLORBTN:
      SetBkColor(reinterpret_cast<HDC>(wp), palette_.page);
      return reinterpret_cast<LRESULT>(BackgroundBrushFor(hwnd));
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (item->CtlType == ODT_BUTTON && std::find(push_buttons_.begin(), push_buttons_.end(),
                                                   item->hwndItem) != push_buttons_.end()) {
        DrawFlatButton(*item);
        return TRUE;
      }
      break;
    }
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (hdr->code == static_cast<UINT>(NM_CUSTOMDRAW) && IsClass(hdr->hwndFrom, WC_TREEVIEWA)) {
        auto* cd = reinterpret_cast<NMTVCUSTOMDRAW*>(lp);
        if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
        if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
          if (cd->nmcd.uItemState & CDIS_SELECTED) {
            cd->clrText = palette_.accent_text;
            cd->clrTextBk = palette_.accent;
          }
          return CDRF_DODEFAULT;
        }
      }
      break;
    }
    default:
      break;
  }
  *handled = false;
  return 0;
}

void SkinManager::PaintGroupBox(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT r;
  GetClientRect(hwnd, &r);
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
  HGDIOBJ old_font =
      SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICA tm;
  GetTextMetricsA(dc, &tm);
  RECT box = r;
  box.top += tm.tmHeight / 2;
  Frame(dc, box, palette_.frame, 6);
  const std::string text = WindowText(hwnd);
  if (!text.empty()) {
    SIZE size;
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    RECT cap{r.left + 8, r.top, r.left + 8 + size.cx + 8, r.top + tm.tmHeight};
    FillRect(dc, &cap, BackgroundBrushFor(GetParent(hwnd)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, palette_.caption);
    TextOutA(dc, cap.left + 4, cap.top, text.c_str(), static_cast<int>(text.size()));
  }
  SelectObject(dc, old_font);
  EndPaint(hwnd, &ps);
}

void SkinManager::PaintTabs(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  FillRect(dc, &client, page_brush_);
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
  HGDIOBJ old_font =
      SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  const int count = static_cast<int>(SendMessageA(hwnd, TCM_GETITEMCOUNT, 0, 0));
  const int selected = static_cast<int>(SendMessageA(hwnd, TCM_GETCURSEL, 0, 0));
  for (int i = 0; i < count; ++i) {
    RECT r;
    if (!SendMessageA(hwnd, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r))) continue;
    InflateRect(&r, -1, -1);
    char text[128] = {};
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(hwnd, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
    if (i == selected) {
      HBRUSH b = CreateSolidBrush(palette_.accent);
      FillRect(dc, &r, b);
      DeleteObject(b);
      SetTextColor(dc, palette_.accent_text);
    } else {
      FillGradient(dc, r, palette_.button_top, palette_.button_bottom);
      SetTextColor(dc, palette_.button_text);
    }
    Frame(dc, r, i == selected ? palette_.accent : palette_.frame, 4);
    DrawTextA(dc, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  SelectObject(dc, old_font);
  EndPaint(hwnd, &ps);
}

void SkinManager::DrawFlatButton(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  HWND parent = GetParent(item.hwndItem);
  FillRect(dc, &r, BackgroundBrushFor(parent));
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  RECT face = r;
  InflateRect(&face, -1, -1);
  if (pressed) {
    FillGradient(dc, face, palette_.button_bottom, palette_.button_top);
  } else {
    FillGradient(dc, face, palette_.button_top, palette_.button_bottom);
  }
  Frame(dc, r, (item.itemState & ODS_FOCUS) ? palette_.accent : palette_.frame, 5);

  HFONT font = reinterpret_cast<HFONT>(SendMessageA(item.hwndItem, WM_GETFONT, 0, 0));
  HGDIOBJ old_font =
      SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, disabled ? GetSysColor(COLOR_GRAYTEXT) : palette_.button_text);
  const std::string text = WindowText(item.hwndItem);
  SIZE size{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  HICON glyph = reinterpret_cast<HICON>(SendMessageA(item.hwndItem, BM_GETIMAGE, IMAGE_ICON, 0));
  const int glyph_width = glyph ? 16 + 4 : 0;
  const int offset = pressed ? 1 : 0;
  int x = (r.left + r.right - (size.cx + glyph_width)) / 2 + offset;
  const int y = (r.top + r.bottom - size.cy) / 2 + offset;
  if (glyph) {
    DrawIconEx(dc, x, (r.top + r.bottom - 16) / 2 + offset, glyph, 16, 16, 0, nullptr, DI_NORMAL);
    x += glyph_width;
  }
  TextOutA(dc, x, y, text.c_str(), static_cast<int>(text.size()));
  SelectObject(dc, old_font);
}

}  // namespace zelk::manager::skin
