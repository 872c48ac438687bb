#include "manager/shell/main_window_controls_win32.h"

#include <cstring>

#include "manager/iis/settings_store.h"
#include "manager/skin/skin.h"

namespace zelk::manager::shell {
namespace {

// An icon from a drawn picture: a 32-bit top-down colour bitmap with its
// alpha channel, and an empty mask (the alpha channel decides).
HICON ToIcon(const Picture& picture) {
  BITMAPV5HEADER h{};
  h.bV5Size = sizeof h;
  h.bV5Width = picture.size;
  h.bV5Height = -picture.size;
  h.bV5Planes = 1;
  h.bV5BitCount = 32;
  h.bV5Compression = BI_BITFIELDS;
  h.bV5RedMask = 0x00FF0000;
  h.bV5GreenMask = 0x0000FF00;
  h.bV5BlueMask = 0x000000FF;
  h.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP colour = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&h), DIB_RGB_COLORS,
                                    &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  if (!colour) return nullptr;
  std::memcpy(bits, picture.pixels.data(), picture.pixels.size() * sizeof(std::uint32_t));
  HBITMAP mask = CreateBitmap(picture.size, picture.size, 1, 1, nullptr);
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = colour;
  info.hbmMask = mask;
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(colour);
  DeleteObject(mask);
  return icon;
}

void SetFont(HWND hwnd, HFONT font) {
  SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

std::string WindowTextOf(HWND hwnd) {
  const int n = GetWindowTextLengthA(hwnd);
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  const int got = GetWindowTextA(hwnd, &s[0], n + 1);
  s.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return s;
}

// The picture of a page's emblem: the icon of the tree item that shows the
// page, or the first item's where none does.
Art EmblemArt(PageId page) {
  for (const TreeItem& t : kTreeItems) {
    const TreeAction action = ActionForIcon(t.icon);
    if (action.kind == TreeAction::kShowPage && action.page == page) return TreeArt(t.icon);
  }
  return TreeArt(kTreeItems[0].icon);
}

struct WindowClassAndStyle {
  const char* cls;
  DWORD style;
  DWORD ex_style;
};

WindowClassAndStyle ClassAndStyleOf(ControlKind kind) {
  constexpr DWORD child = WS_CHILD | WS_VISIBLE;
  switch (kind) {
    case ControlKind::kLabel:
    case ControlKind::kStateLabel:
      return {"Static", child | SS_LEFT | SS_NOPREFIX, 0};
    case ControlKind::kCheck:
      return {"Button", child | BS_AUTOCHECKBOX | WS_TABSTOP, 0};
    case ControlKind::kButton:
      return {"Button", child | BS_PUSHBUTTON | WS_TABSTOP, 0};
    case ControlKind::kEdit:
      return {"Edit", child | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::kList:
      return {"ListBox",
              child | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP,
              WS_EX_CLIENTEDGE};
    case ControlKind::kComboEdit:
      return {"ComboBox", child | CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0};
    case ControlKind::kComboList:
      return {"ComboBox", child | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0};
    case ControlKind::kMemo:  // flat border
      return {"Edit", child | ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 0};
    case ControlKind::kGroup:
      return {"Button", child | BS_GROUPBOX, 0};
  }
  return {"Static", child, 0};
}

}  // namespace

HFONT MakeFont(const char* face, int points, BYTE charset) {
  HDC screen = GetDC(nullptr);
  const int height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

IconSet::~IconSet() {
  for (HICON i : icons_) DestroyIcon(i);
}

HICON IconSet::Add(Art art, int size) {
  HICON icon = ToIcon(Draw(art, size));
  if (icon) icons_.push_back(icon);
  return icon;
}

WindowControls::~WindowControls() {
  if (tree_images_) ImageList_Destroy(tree_images_);
  if (window_font_) DeleteObject(window_font_);
  if (song_font_) DeleteObject(song_font_);
}

void WindowControls::Build(HWND form, HINSTANCE instance) {
  window_font_ = MakeFont("MS Sans Serif", 8, DEFAULT_CHARSET);
  song_font_ = MakeFont(kSongTi, 9, GB2312_CHARSET);
  SetFont(form, window_font_);
  CreateTree(form, instance);
  CreateTabs(form, instance);
  CreatePages(form, instance);
  CreatePageControls(instance);
  CreateBar(form, instance);
}

void WindowControls::CreateTree(HWND form, HINSTANCE instance) {
  tree_ = CreateWindowExA(WS_EX_CLIENTEDGE, WC_TREEVIEWA, "",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES |
                              TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                          0, 0, kTreeWidth, kClientHeight - kBarHeight, form,
                          reinterpret_cast<HMENU>(idWAFList), instance, nullptr);
  SetFont(tree_, song_font_);
  tree_images_ = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 11, 0);
  for (int i = 0; i <= 10; ++i) ImageList_AddIcon(tree_images_, icons_.Add(TreeArt(i), 16));
  TreeView_SetImageList(tree_, tree_images_, TVSIL_NORMAL);
  TreeView_SetIndent(tree_, kTreeIndent);
  TreeView_SetBkColor(tree_, RGB(255, 255, 255));
  TreeView_SetTextColor(tree_, RGB(0, 0, 0));
  HTREEITEM parent = TVI_ROOT;
  for (const TreeItem& t : kTreeItems) {
    TVINSERTSTRUCTA ins{};
    ins.hParent = t.level == 0 ? TVI_ROOT : parent;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    ins.item.pszText = const_cast<char*>(t.text);
    ins.item.iImage = t.icon;
    ins.item.iSelectedImage = t.icon;
    HTREEITEM item = reinterpret_cast<HTREEITEM>(
        SendMessageA(tree_, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&ins)));
    if (t.level == 0) parent = item;
    tree_items_.push_back(item);
  }
}

void WindowControls::CreateTabs(HWND form, HINSTANCE instance) {
  tabs_ = CreateWindowExA(
      0, WC_TABCONTROLA, "",
      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TCS_BUTTONS | TCS_FLATBUTTONS | TCS_MULTILINE, 0, 0,
      10, 10, form, reinterpret_cast<HMENU>(idPageControl1), instance, nullptr);
  SetFont(tabs_, song_font_);
  for (int i = 0; i < TabCount(); ++i) {
    const PageInfo& page = kPages[PageIndex(PageOfTab(i))];
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(page.caption);
    SendMessageA(tabs_, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
}

// Each page with its emblem and, at (136, 24), its slogan.
void WindowControls::CreatePages(HWND form, HINSTANCE instance) {
  for (const PageInfo& info : kPages) {
    HWND page =
        CreateWindowExA(WS_EX_CONTROLPARENT, skin::kPageClass, info.caption,
                        WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 10, 10, form, nullptr, instance, nullptr);
    pages_[PageIndex(info.id)] = page;
    SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    const int e = info.emblem_size;
    HWND pic =
        CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | SS_ICON | SS_REALSIZEIMAGE,
                        128 - e - 4, e == 48 ? 6 : 14, e, e, page, nullptr, instance, nullptr);
    SendMessageA(pic, STM_SETICON, reinterpret_cast<WPARAM>(icons_.Add(EmblemArt(info.id), e)), 0);
    HWND slogan =
        CreateWindowExA(0, "Static", info.slogan, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                        136, 24, 300, 14, page, nullptr, instance, nullptr);
    SetFont(slogan, song_font_);
  }
}

void WindowControls::CreatePageControls(HINSTANCE instance) {
  for (int i = 0; i < kControlCount; ++i) {
    const ControlSpec& c = kControls[i];
    const WindowClassAndStyle made = ClassAndStyleOf(c.kind);
    HWND ctl =
        CreateWindowExA(made.ex_style, made.cls, c.caption, made.style, c.x, c.y, c.w, c.h,
                        pages_[PageIndex(c.page)],
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
    SetFont(ctl, song_font_);
    if (c.id != kIdNone) controls_[c.id] = ctl;
  }

  for (const char* item : kMonTypeItems)
    SendMessageA(Ctl(idCbbmonfileext), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  for (const char* item : kChkTypeItems)
    SendMessageA(Ctl(idCbbchkfileext), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  for (const char* item : kChkSizeItems)
    SendMessageA(Ctl(idCbbchkfilesize), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  for (int id : {idCbbmonfileext, idCbbchkfileext, idCbbchkfilesize}) SetComboPosition(id, 0);
  SetText(idMmoHelp, kHelpText);
  ShowCheckBoxDefaults(*this);
  ShowPage(PageId::ts0);
}

void WindowControls::CreateBar(HWND form, HINSTANCE instance) {
  bar_ = CreateWindowExA(WS_EX_CONTROLPARENT, skin::kBarClass, "",
                         WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, kClientHeight - kBarHeight,
                         kClientWidth, kBarHeight, form, nullptr, instance, nullptr);
  struct BarButton {
    int id;
    const char* caption;
    int x;
    Art glyph;
  };
  for (const BarButton& b : {BarButton{idBtnSetting, kApplyCaption, 360, Art::kApplyGlyph},
                             BarButton{idBtnOK, kOkCaption, 464, Art::kOkGlyph}}) {
    HWND button = CreateWindowExA(
        0, "Button", b.caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, b.x, 8, 90, 25,
        bar_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(b.id)), instance, nullptr);
    SetFont(button, song_font_);
    SendMessageA(button, BM_SETIMAGE, IMAGE_ICON,
                 reinterpret_cast<LPARAM>(icons_.Add(b.glyph, 16)));
    controls_[b.id] = button;
  }
}

void WindowControls::Layout(HWND form) {
  RECT client;
  GetClientRect(form, &client);
  const int w = client.right, h = client.bottom;
  const int body = h - kBarHeight > 0 ? h - kBarHeight : 0;
  MoveWindow(tree_, 0, 0, kTreeWidth, body, TRUE);
  MoveWindow(tabs_, kTreeWidth, 0, w - kTreeWidth, body, TRUE);
  MoveWindow(bar_, 0, body, w, kBarHeight, TRUE);
  RECT display{0, 0, w - kTreeWidth, body};
  SendMessageA(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  for (HWND page : pages_) {
    MoveWindow(page, kTreeWidth + display.left, display.top, display.right - display.left,
               display.bottom - display.top, TRUE);
  }
}

void WindowControls::ShowPage(PageId page) {
  for (const PageInfo& info : kPages) {
    ShowWindow(pages_[PageIndex(info.id)], info.id == page ? SW_SHOW : SW_HIDE);
  }
  SendMessageA(tabs_, TCM_SETCURSEL, static_cast<WPARAM>(TabIndexOf(page)), 0);
  InvalidateRect(tabs_, nullptr, TRUE);
}

HWND WindowControls::Ctl(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

bool WindowControls::Checked(int id) const {
  return SendMessageA(Ctl(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void WindowControls::SetChecked(int id, bool on) {
  SendMessageA(Ctl(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::string WindowControls::Text(int id) const { return WindowTextOf(Ctl(id)); }

void WindowControls::SetText(int id, const std::string& text) {
  SetWindowTextA(Ctl(id), text.c_str());
}

int WindowControls::ComboPosition(int id) const {
  HWND combo = Ctl(id);
  // The position of the item the box shows; typed text that is no item
  // stores -1.
  const std::string text = WindowTextOf(combo);
  const int n = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    const LRESULT len = SendMessageA(combo, CB_GETLBTEXTLEN, i, 0);
    std::string item(static_cast<std::size_t>(len > 0 ? len : 0) + 1, '\0');
    SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0]));
    item.resize(std::strlen(item.c_str()));
    if (item == text) return i;
  }
  return -1;
}

void WindowControls::SetComboPosition(int id, int position) {
  SendMessageA(Ctl(id), CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

std::vector<std::string> WindowControls::ListRows(int id) const {
  HWND list = Ctl(id);
  const int n = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  std::vector<std::string> rows;
  for (int i = 0; i < n; ++i) {
    const LRESULT len = SendMessageA(list, LB_GETTEXTLEN, i, 0);
    std::string s(static_cast<std::size_t>(len > 0 ? len : 0) + 1, '\0');
    SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&s[0]));
    s.resize(std::strlen(s.c_str()));
    rows.push_back(s);
  }
  return rows;
}

void WindowControls::SetListRows(int id, const std::vector<std::string>& rows) {
  HWND list = Ctl(id);
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  for (const std::string& r : rows)
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(r.c_str()));
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

}  // namespace zelk::manager::shell
