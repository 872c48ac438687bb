#include "manager/shell/layout.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace zelk::manager::shell {
namespace {

// A click on each tree item, by its selected-icon index, shows the page whose
// caption is the item's text; "Web杀毒" starts the scanner instead.
TEST(TreeDispatch, EveryItemShowsThePageOfItsTextOrStartsTheScanner) {
  for (const TreeItem& item : kTreeItems) {
    SCOPED_TRACE(item.text);
    const TreeAction action = ActionForIcon(item.icon);
    if (std::string(item.text) == "Web杀毒") {
      EXPECT_EQ(action.kind, TreeAction::kStartScanner);
      continue;
    }
    ASSERT_EQ(action.kind, TreeAction::kShowPage);
    EXPECT_STREQ(kPages[PageIndex(action.page)].caption, item.text);
  }
}

TEST(TreeDispatch, DispatchesOnTheIconNotThePosition) {
  // "URL白名单" sits at position 4 but carries icon 10; icon 4 is the scanner.
  EXPECT_STREQ(kTreeItems[4].text, "URL白名单");
  EXPECT_EQ(ActionForIcon(10).page, PageId::tsUrl);
  EXPECT_EQ(ActionForIcon(4).kind, TreeAction::kStartScanner);
  for (int icon : {-1, 11, 42}) EXPECT_EQ(ActionForIcon(icon).kind, TreeAction::kNone) << icon;
}

TEST(TreeDispatch, TreeHasTwoLevelsWithTheFirstItemsChildrenBelowIt) {
  std::set<int> icons;
  for (const TreeItem& item : kTreeItems) icons.insert(item.icon);
  EXPECT_EQ(icons.size(), 11u);
  EXPECT_EQ(kTreeItems[0].level, 0);
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(kTreeItems[i].level, 1) << i;
  for (int i = 5; i <= 10; ++i) EXPECT_EQ(kTreeItems[i].level, 0) << i;
}

TEST(Pages, SixPagesShowATabAndFourAreReachedOnlyFromTheTree) {
  EXPECT_EQ(TabCount(), 6);
  const PageId tabbed[] = {PageId::ts0, PageId::ts1, PageId::ts2,
                           PageId::ts3, PageId::ts5, PageId::ts6};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(PageOfTab(i), tabbed[i]);
    EXPECT_EQ(TabIndexOf(tabbed[i]), i);
  }
  for (PageId p : {PageId::tsUrl, PageId::tsLog, PageId::tsHelp, PageId::tsSet})
    EXPECT_EQ(TabIndexOf(p), -1);
}

TEST(Controls, IdsAreUniqueAndEveryNamedControlIsFound) {
  std::set<int> ids;
  for (int i = 0; i < kControlCount; ++i) {
    const ControlSpec& c = kControls[i];
    if (c.id == kIdNone) continue;
    EXPECT_TRUE(ids.insert(c.id).second) << c.name;
    EXPECT_EQ(FindControl(c.id), &c);
  }
  EXPECT_EQ(FindControl(kIdNone), nullptr);
}

// Every control fits inside its page's group box, and so stays visible in a
// page of 443 x 270 pixels (the page area of the designed window).
TEST(Controls, EveryControlLiesInsideAGroupBoxOfItsPage) {
  for (int i = 0; i < kControlCount; ++i) {
    const ControlSpec& c = kControls[i];
    if (c.kind == ControlKind::kGroup) {
      EXPECT_LE(c.x + c.w, 443) << c.caption;
      EXPECT_LE(c.y + c.h, 270) << c.caption;
      continue;
    }
    // Drop-downs are given their open height; their closed box is ~22 high.
    const int h =
        (c.kind == ControlKind::kComboEdit || c.kind == ControlKind::kComboList) ? 22 : c.h;
    bool inside = false;
    for (int j = 0; j < kControlCount; ++j) {
      const ControlSpec& g = kControls[j];
      if (g.kind != ControlKind::kGroup || g.page != c.page) continue;
      inside |= c.x >= g.x && c.y >= g.y + 12 && c.x + c.w <= g.x + g.w && c.y + h <= g.y + g.h;
    }
    EXPECT_TRUE(inside) << c.name << " " << c.caption;
  }
}

TEST(Controls, SizesTheWindowFixes) {
  EXPECT_EQ(FindControl(idLsturl)->w, 369);
  EXPECT_EQ(FindControl(idLsturl)->h, 145);
  EXPECT_EQ(FindControl(idLstfilemon)->h, 113);
  EXPECT_EQ(FindControl(idLblState)->w, 81);
  EXPECT_EQ(FindControl(idLblState)->h, 17);
  EXPECT_EQ(FindControl(idLblPath)->w, 353);
  EXPECT_EQ(FindControl(idMmoHelp)->w, 367);
  EXPECT_EQ(FindControl(idMmoHelp)->h, 163);
  for (int id : {idBtnOpenwaflog, idBtnOpenmurrowlog, idBtnOpenmonlog, idBtnOpenmodlog}) {
    EXPECT_EQ(FindControl(id)->w, 145);
    EXPECT_EQ(FindControl(id)->h, 33);
  }
}

TEST(Controls, CaptionsAreTheSystemsOwnTextsInGbk) {
  // Two blanks before 注, and the literal bytes are GBK ("注" is D7 A2).
  EXPECT_EQ(std::string(FindControl(idChkMETHOD)->caption),
            "禁用非法请求方法  注:可阻断IIS PUT写权限漏洞");
  EXPECT_EQ(std::string("注"), "\xD7\xA2");
  EXPECT_EQ(std::string(FindControl(idEdtFileExtDown)->caption), ".mdb|.inc|.bak|");
  EXPECT_EQ(std::string(FindControl(idEdtchklog)->caption), "c:\\log.txt");
}

TEST(HelpText, HasNineLinesWithTheMailLineBeforeTheLast) {
  std::string text = kHelpText;
  int lines = 1;
  std::string::size_type pos = 0, last_break = 0, previous_break = 0;
  while ((pos = text.find("\r\n", pos)) != std::string::npos) {
    previous_break = last_break;
    last_break = pos;
    ++lines;
    pos += 2;
  }
  EXPECT_EQ(lines, 9);
  EXPECT_EQ(text.substr(previous_break + 2, last_break - previous_break - 2),
            "如果您对本软件有更好的意见和建议请邮件联系：");
}

TEST(Scanner, CommandLineIsQuotedOnlyWhenThePathHoldsASpace) {
  struct Case {
    const char* path;
    const char* command;
  };
  const Case cases[] = {
      {"C:\\WAF\\Murrow\\Murrow.exe", "C:\\WAF\\Murrow\\Murrow.exe"},
      {"C:\\Program Files\\Zelk\\Murrow\\Murrow.exe",
       "\"C:\\Program Files\\Zelk\\Murrow\\Murrow.exe\""},
      {"\"C:\\Program Files\\x.exe\"", "\"C:\\Program Files\\x.exe\""},
      {"D:\\防火墙\\ZelkWAF.exe", "D:\\防火墙\\ZelkWAF.exe"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(QuotedCommandPath(c.path), c.command) << c.path;
  EXPECT_EQ(ScannerPath("C:\\WAF\\"), "C:\\WAF\\Murrow\\Murrow.exe");
}

}  // namespace
}  // namespace zelk::manager::shell
