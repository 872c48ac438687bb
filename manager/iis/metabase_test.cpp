#include "manager/iis/metabase.h"

#include <gtest/gtest.h>

#include "testing/memory_metabase.h"

namespace zelk::manager {
namespace {

using List = std::vector<std::string>;
using testing::MemoryMetabase;

constexpr char kFilters[] = "localhost/w3svc/Filters";
constexpr char kService[] = "localhost/w3svc";
constexpr char kDll[] = "C:\\WAF\\IIS\\ZelkWAF.dll";
constexpr char kOwn[] = "*,C:\\WAF\\IIS\\ZelkWAF.dll,0,*";
constexpr char kAsp[] = ".asp,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST";
constexpr char kPhp[] = ".php,C:\\php\\php5isapi.dll,5";

TEST(SplitText, SplitsAtEverySeparatorAndKeepsEmptyPieces) {
  const struct {
    std::string text;
    List pieces;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {",", {"", ""}},
      {"a,b", {"a", "b"}},
      {"a,,b", {"a", "", "b"}},
      {"a,", {"a", ""}},
      {",ZeLkWAF", {"", "ZeLkWAF"}},
      {" a , b ", {" a ", " b "}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitText(c.text, ','), c.pieces) << "text: " << c.text;
}

TEST(ScriptMapRules, OwnValueIsTheOneNamingTheModuleInItsSecondField) {
  const struct {
    std::string value;
    bool own;
  } cases[] = {
      {kOwn, true},
      {"*,D:\\old place\\IIS\\ZelkWAF.dll,0,*", true},  // an earlier install folder
      {".asp,C:\\x\\ZelkWAF.dll", true},                // two fields are enough
      {"ZelkWAF.dll,C:\\php\\php5isapi.dll,5", false},  // mentioned in the first field only
      {"*,C:\\WAF\\zelkwaf.dll,0,*", false},            // the test is case-sensitive
      {"ZelkWAF.dll", false},                           // no second field
      {"", false},
      {kAsp, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsOwnScriptMap(c.value), c.own) << c.value;
  EXPECT_EQ(OwnScriptMap(kDll), kOwn);
}

TEST(ScriptMapRules, AddReplacesEveryOwnValueOrAppendsOne) {
  const std::string old_place = "*,D:\\old\\ZelkWAF.dll,0,*";
  const struct {
    List before, after;
  } cases[] = {
      {{}, {kOwn}},
      {{kAsp}, {kAsp, kOwn}},
      {{kOwn, kAsp}, {kOwn, kAsp}},
      {{old_place, kAsp, old_place}, {kOwn, kAsp, kOwn}},
  };
  for (const auto& c : cases) {
    List values = c.before;
    AddOwnScriptMap(&values, kDll);
    EXPECT_EQ(values, c.after);
  }
}

TEST(ScriptMapRules, RemoveTakesOutOnlyTheFirstOwnValueMovingTheLastIntoItsPlace) {
  const struct {
    List before, after;
    bool removed;
  } cases[] = {
      {{}, {}, false},
      {{kAsp}, {kAsp}, false},
      {{kOwn}, {}, true},
      {{kAsp, kOwn}, {kAsp}, true},
      {{kOwn, kAsp, kPhp}, {kPhp, kAsp}, true},
      {{kAsp, kOwn, kPhp, kOwn}, {kAsp, kOwn, kPhp}, true},
  };
  for (const auto& c : cases) {
    List values = c.before;
    EXPECT_EQ(RemoveOwnScriptMap(&values), c.removed);
    EXPECT_EQ(values, c.after);
  }
}

TEST(ParseSiteNumber, AcceptsOnlyDecimalNamesThatFitAnInt) {
  const struct {
    std::string name;
    bool ok;
    int number;
  } cases[] = {
      {"1", true, 1},
      {"1720207907", true, 1720207907},
      {"2147483647", true, 2147483647},
      {"2147483648", false, 0},
      {"Filters", false, 0},
      {"", false, 0},
      {"0x10", false, 0},
      {"-1", false, 0},
      {" 1", false, 0},
      {"1a", false, 0},
  };
  for (const auto& c : cases) {
    int number = 0;
    EXPECT_EQ(ParseSiteNumber(c.name, &number), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(number, c.number) << c.name;
    }
  }
}

TEST(IsIisFilterInstalled, ComparesEachLoadOrderEntryExactly) {
  const struct {
    std::string order;
    bool installed;
  } cases[] = {
      {"", false},        {"ZeLkWAF", true},   {",ZeLkWAF", true},  {"a,ZeLkWAF,b", true},
      {"zelkwaf", false}, {"ZeLkWAF2", false}, {" ZeLkWAF", false}, {"a,,b", false},
  };
  for (const auto& c : cases) {
    MemoryMetabase mb(c.order);
    EXPECT_EQ(IsIisFilterInstalled(mb, "ZeLkWAF"), c.installed) << c.order;
  }
}

TEST(IsIisFilterInstalled, AnyFailureOnTheWayMeansNotInstalled) {
  for (const char* step : {"OpenNamespace", "GetObject(IISNamespace", "GetObject(localhost/w3svc",
                           "Get(localhost/w3svc/Filters,FilterLoadOrder"}) {
    MemoryMetabase mb("ZeLkWAF");
    mb.FailOn(step);
    EXPECT_FALSE(IsIisFilterInstalled(mb, "ZeLkWAF")) << step;
  }
  MemoryMetabase missing_property("ZeLkWAF");
  missing_property.RemoveProperty(kFilters, kFilterLoadOrder);
  EXPECT_FALSE(IsIisFilterInstalled(missing_property, "ZeLkWAF"));
  UnavailableMetabase none;
  EXPECT_FALSE(IsIisFilterInstalled(none, "ZeLkWAF"));
}

TEST(AddIisFilter, AppendsTheNameAndCreatesTheFilterObject) {
  const struct {
    std::string before, after;
  } cases[] = {
      {"", ",ZeLkWAF"},
      {"a", "a,ZeLkWAF"},
      {"a,b,", "a,b,,ZeLkWAF"},
  };
  for (const auto& c : cases) {
    MemoryMetabase mb(c.before);
    ASSERT_TRUE(AddIisFilter(mb, "ZeLkWAF", kDll, "1.0")) << c.before;
    EXPECT_EQ(mb.StringProperty(kFilters, kFilterLoadOrder), c.after);
    const std::string filter = std::string(kFilters) + "/ZeLkWAF";
    EXPECT_EQ(mb.StringProperty(filter, "FilterPath"), kDll);
    EXPECT_EQ(mb.StringProperty(filter, "FilterDescription"), "1.0");
    EXPECT_EQ(mb.CountCalls("Create(localhost/w3svc/Filters,IIsFilter,ZeLkWAF)"), 1);
    EXPECT_TRUE(IsIisFilterInstalled(mb, "ZeLkWAF"));
  }
}

TEST(AddIisFilter, KeepsWhatWasCommittedBeforeAFailure) {
  const struct {
    const char* step;
    bool name_in_order;
  } cases[] = {
      {"OpenNamespace", false},
      {"SetInfo(localhost/w3svc/Filters)", false},
      {"Create(", true},
      {"Put(localhost/w3svc/Filters/ZeLkWAF,FilterPath", true},
      {"SetInfo(localhost/w3svc/Filters/ZeLkWAF)", true},
  };
  for (const auto& c : cases) {
    MemoryMetabase mb("a");
    mb.FailOn(c.step);
    EXPECT_FALSE(AddIisFilter(mb, "ZeLkWAF", kDll, "1.0")) << c.step;
    EXPECT_EQ(mb.StringProperty(kFilters, kFilterLoadOrder), c.name_in_order ? "a,ZeLkWAF" : "a")
        << c.step;
    EXPECT_FALSE(mb.HasNode(std::string(kFilters) + "/ZeLkWAF")) << c.step;
  }
}

TEST(AddIisFilter, FailsWhenTheFilterObjectAlreadyExists) {
  MemoryMetabase mb("ZeLkWAF");
  mb.AddNode(std::string(kFilters) + "/ZeLkWAF", kFilterClass);
  EXPECT_FALSE(AddIisFilter(mb, "ZeLkWAF", kDll, "1.0"));
  EXPECT_EQ(mb.StringProperty(kFilters, kFilterLoadOrder), "ZeLkWAF,ZeLkWAF");
}

TEST(RemoveIisFilter, CleansTheLoadOrderAndDeletesTheObject) {
  const struct {
    std::string before, after;
    bool written;
  } cases[] = {
      {",ZeLkWAF", "", true},       {"a,ZeLkWAF", "a", true},         {"ZeLkWAF,b", "b", true},
      {"a,ZeLkWAF,b", "a,b", true}, {"ZeLkWAF,a,ZeLkWAF", "a", true}, {"a,,ZeLkWAF", "a,", true},
      {"a,,b", "a,,b", false},      {"zelkwaf", "zelkwaf", false},
  };
  for (const auto& c : cases) {
    MemoryMetabase mb(c.before);
    mb.AddNode(std::string(kFilters) + "/ZeLkWAF", kFilterClass);
    EXPECT_TRUE(RemoveIisFilter(mb, "ZeLkWAF")) << c.before;
    EXPECT_EQ(mb.StringProperty(kFilters, kFilterLoadOrder), c.after) << c.before;
    EXPECT_EQ(mb.CountCalls("Put("), c.written ? 1 : 0) << c.before;
    EXPECT_EQ(mb.CountCalls("SetInfo("), c.written ? 1 : 0) << c.before;
    EXPECT_EQ(mb.CountCalls("Delete(localhost/w3svc/Filters,IISFilters,ZeLkWAF)"), 1);
    EXPECT_FALSE(mb.HasNode(std::string(kFilters) + "/ZeLkWAF"));
  }
}

TEST(RemoveIisFilter, FailsWithoutAFilterObjectAfterCleaningTheOrder) {
  MemoryMetabase mb("a,ZeLkWAF,b");
  EXPECT_FALSE(RemoveIisFilter(mb, "ZeLkWAF"));
  EXPECT_EQ(mb.StringProperty(kFilters, kFilterLoadOrder), "a,b");

  MemoryMetabase failing("ZeLkWAF");
  failing.AddNode(std::string(kFilters) + "/ZeLkWAF", kFilterClass);
  failing.FailOn("Delete(");
  EXPECT_FALSE(RemoveIisFilter(failing, "ZeLkWAF"));
  EXPECT_EQ(failing.StringProperty(kFilters, kFilterLoadOrder), "");
  EXPECT_TRUE(failing.HasNode(std::string(kFilters) + "/ZeLkWAF"));
}

TEST(RemoveIisFilter, AFailedCommitLeavesEverythingInPlace) {
  MemoryMetabase mb("a,ZeLkWAF");
  mb.AddNode(std::string(kFilters) + "/ZeLkWAF", kFilterClass);
  mb.FailOn("SetInfo(");
  EXPECT_FALSE(RemoveIisFilter(mb, "ZeLkWAF"));
  EXPECT_EQ(mb.StringProperty(kFilters, kFilterLoadOrder), "a,ZeLkWAF");
  EXPECT_TRUE(mb.HasNode(std::string(kFilters) + "/ZeLkWAF"));
  EXPECT_EQ(mb.CountCalls("Delete("), 0);
}

TEST(FilterRegistration, EmptyOrderAddedThenRemovedEndsEmpty) {
  MemoryMetabase mb("");
  EXPECT_FALSE(IsIisFilterInstalled(mb, "ZeLkWAF"));
  ASSERT_TRUE(AddIisFilter(mb, "ZeLkWAF", kDll, "1.0"));
  EXPECT_EQ(mb.StringProperty(kFilters, kFilterLoadOrder), ",ZeLkWAF");
  ASSERT_TRUE(RemoveIisFilter(mb, "ZeLkWAF"));
  EXPECT_EQ(mb.StringProperty(kFilters, kFilterLoadOrder), "");
  EXPECT_FALSE(mb.HasNode(std::string(kFilters) + "/ZeLkWAF"));
  EXPECT_FALSE(IsIisFilterInstalled(mb, "ZeLkWAF"));
}

TEST(SetWebServiceExtension, AddsAndDeletesTheModulesRecord) {
  MemoryMetabase mb;
  ASSERT_TRUE(SetWebServiceExtension(mb, ExtensionOperation::kAdd, kDll));
  ASSERT_EQ(mb.extension_records.size(), 1u);
  const auto& r = mb.extension_records[0];
  EXPECT_EQ(r.path, kDll);
  EXPECT_TRUE(r.allowed);
  EXPECT_EQ(r.group_id, "ZelkWAF");
  EXPECT_TRUE(r.can_delete);
  EXPECT_EQ(r.description, "ZeLk Web Firewall");
  EXPECT_FALSE(SetWebServiceExtension(mb, ExtensionOperation::kAdd, kDll));  // already there
  EXPECT_TRUE(SetWebServiceExtension(mb, ExtensionOperation::kDeleteRecord, kDll));
  EXPECT_TRUE(mb.extension_records.empty());
  EXPECT_FALSE(SetWebServiceExtension(mb, ExtensionOperation::kDeleteRecord, kDll));
}

TEST(SetWebServiceExtension, FailsOnAServerWithoutTheMethods) {
  MemoryMetabase mb;
  mb.extension_methods = false;
  EXPECT_FALSE(SetWebServiceExtension(mb, ExtensionOperation::kAdd, kDll));
  EXPECT_FALSE(SetWebServiceExtension(mb, ExtensionOperation::kDeleteRecord, kDll));
  UnavailableMetabase none;
  EXPECT_FALSE(SetWebServiceExtension(none, ExtensionOperation::kAdd, kDll));
}

TEST(SetServiceScriptMap, AddWritesTheListEvenWhenUnchanged) {
  MemoryMetabase mb;
  mb.SetProperty(kService, kScriptMaps, List{kAsp, kOwn});
  EXPECT_EQ(SetServiceScriptMap(mb, ScriptMapMode::kAdd, kDll), -1);
  EXPECT_EQ(mb.ListProperty(kService, kScriptMaps), (List{kAsp, kOwn}));
  EXPECT_EQ(mb.CountCalls("Put(localhost/w3svc,ScriptMaps"), 1);
  EXPECT_EQ(mb.CountCalls("SetInfo(localhost/w3svc)"), 1);
  EXPECT_EQ(mb.CountCalls("OpenPath(IIS://Localhost/w3svc,IADs)"), 1);
}

TEST(SetServiceScriptMap, AddRewritesEveryOwnValueAndRemoveTakesOnlyTheFirst) {
  MemoryMetabase mb;
  const std::string old_place = "*,D:\\old\\ZelkWAF.dll,0,*";
  mb.SetProperty(kService, kScriptMaps, List{old_place, kAsp, old_place, kPhp});
  EXPECT_EQ(SetServiceScriptMap(mb, ScriptMapMode::kAdd, kDll), -1);
  EXPECT_EQ(mb.ListProperty(kService, kScriptMaps), (List{kOwn, kAsp, kOwn, kPhp}));
  EXPECT_EQ(SetServiceScriptMap(mb, ScriptMapMode::kRemove, kDll), -1);
  EXPECT_EQ(mb.ListProperty(kService, kScriptMaps), (List{kPhp, kAsp, kOwn}));
}

TEST(SetServiceScriptMap, RemoveWithoutAnOwnValueWritesNothing) {
  MemoryMetabase mb;
  mb.SetProperty(kService, kScriptMaps, List{kAsp});
  EXPECT_EQ(SetServiceScriptMap(mb, ScriptMapMode::kRemove, kDll), -1);
  EXPECT_EQ(mb.CountCalls("Put("), 0);
  EXPECT_EQ(mb.CountCalls("SetInfo("), 0);

  mb.SetProperty(kService, kScriptMaps, List{kOwn});
  EXPECT_EQ(SetServiceScriptMap(mb, ScriptMapMode::kRemove, kDll), -1);
  EXPECT_EQ(mb.ListProperty(kService, kScriptMaps), List{});
}

TEST(SetServiceScriptMap, FailuresGiveZero) {
  for (const char* step : {"OpenPath(", "Get(", "Put(", "SetInfo("}) {
    MemoryMetabase mb;
    mb.SetProperty(kService, kScriptMaps, List{kAsp});
    mb.FailOn(step);
    EXPECT_EQ(SetServiceScriptMap(mb, ScriptMapMode::kAdd, kDll), 0) << step;
    EXPECT_EQ(mb.ListProperty(kService, kScriptMaps), List{kAsp}) << step;
  }
  MemoryMetabase no_maps;  // the property is missing altogether
  EXPECT_EQ(SetServiceScriptMap(no_maps, ScriptMapMode::kAdd, kDll), 0);
  MemoryMetabase wrong_type;
  wrong_type.SetProperty(kService, kScriptMaps, std::string(kAsp));
  EXPECT_EQ(SetServiceScriptMap(wrong_type, ScriptMapMode::kAdd, kDll), 0);
  UnavailableMetabase none;
  EXPECT_EQ(SetServiceScriptMap(none, ScriptMapMode::kAdd, kDll), 0);
}

TEST(SetSiteScriptMap, LeavesARootWithoutScriptMapsOfItsOwnAlone) {
  MemoryMetabase mb;
  mb.SetProperty(kService, kScriptMaps, List{kAsp});
  mb.AddSite(1);
  EXPECT_EQ(SetSiteScriptMap(mb, true, 1, kDll), 0);
  EXPECT_FALSE(mb.Property("localhost/w3svc/1/ROOT", kScriptMaps));
  EXPECT_EQ(mb.CountCalls("GetDataPaths(localhost/w3svc/1/ROOT,ScriptMaps,1)"), 1);
  EXPECT_EQ(SetSiteScriptMap(mb, true, 7, kDll), 0);  // no such site
}

TEST(SetSiteScriptMap, EditsTheRootWhenItOrAFolderBelowHasScriptMaps) {
  MemoryMetabase mb;
  mb.SetProperty(kService, kScriptMaps, List{kAsp});
  mb.AddSite(1, List{kPhp});
  EXPECT_EQ(SetSiteScriptMap(mb, true, 1, kDll), -1);
  EXPECT_EQ(mb.ListProperty("localhost/w3svc/1/ROOT", kScriptMaps), (List{kPhp, kOwn}));
  EXPECT_EQ(SetSiteScriptMap(mb, false, 1, kDll), -1);
  EXPECT_EQ(mb.ListProperty("localhost/w3svc/1/ROOT", kScriptMaps), List{kPhp});

  // Only a folder below the root has its own list: the root's inherited list
  // is read, edited and written to the root.
  mb.AddSite(2);
  mb.AddNode("localhost/w3svc/2/ROOT/app", "IIsWebDirectory");
  mb.SetProperty("localhost/w3svc/2/ROOT/app", kScriptMaps, List{kPhp});
  EXPECT_EQ(SetSiteScriptMap(mb, true, 2, kDll), -1);
  EXPECT_EQ(mb.ListProperty("localhost/w3svc/2/ROOT", kScriptMaps), (List{kAsp, kOwn}));
  EXPECT_EQ(mb.ListProperty("localhost/w3svc/2/ROOT/app", kScriptMaps), List{kPhp});
}

TEST(SetSiteScriptMap, FailuresGiveZero) {
  for (const char* step : {"OpenPath(IIS://Localhost/w3svc/1/ROOT,IISBaseObject", "GetDataPaths(",
                           "OpenPath(IIS://Localhost/w3svc/1/ROOT,IADs", "Get(", "SetInfo("}) {
    MemoryMetabase mb;
    mb.AddSite(1, List{kPhp});
    mb.FailOn(step);
    EXPECT_EQ(SetSiteScriptMap(mb, true, 1, kDll), 0) << step;
    EXPECT_EQ(mb.ListProperty("localhost/w3svc/1/ROOT", kScriptMaps), List{kPhp}) << step;
  }
}

TEST(SetAllSitesScriptMap, VisitsOnlyNumberedChildrenOfTheWebService) {
  MemoryMetabase mb;
  mb.AddSite(1, List{kAsp});
  mb.AddNode("localhost/w3svc/AppPools", "IIsApplicationPools");
  mb.AddSite(2, List{kPhp});
  mb.AddSite(3);  // no script maps of its own
  SetAllSitesScriptMap(mb, true, kDll);
  EXPECT_EQ(mb.ListProperty("localhost/w3svc/1/ROOT", kScriptMaps), (List{kAsp, kOwn}));
  EXPECT_EQ(mb.ListProperty("localhost/w3svc/2/ROOT", kScriptMaps), (List{kPhp, kOwn}));
  EXPECT_FALSE(mb.Property("localhost/w3svc/3/ROOT", kScriptMaps));
  EXPECT_EQ(mb.CountCalls("OpenPath(IIS://Localhost/w3svc/"), 3 + 2);  // 3 GetDataPaths, 2 edits
  EXPECT_EQ(mb.CountCalls("OpenPath(IIS://Localhost/w3svc/Filters"), 0);
  EXPECT_EQ(mb.CountCalls("OpenPath(IIS://Localhost/w3svc/AppPools"), 0);

  SetAllSitesScriptMap(mb, false, kDll);
  EXPECT_EQ(mb.ListProperty("localhost/w3svc/1/ROOT", kScriptMaps), List{kAsp});
  EXPECT_EQ(mb.ListProperty("localhost/w3svc/2/ROOT", kScriptMaps), List{kPhp});
}

TEST(SetAllSitesScriptMap, AChildThatCannotBeReadEscapesToTheCaller) {
  for (const char* step : {"AsObject(localhost/w3svc/2)", "Name(localhost/w3svc/2)"}) {
    MemoryMetabase mb;
    mb.AddSite(1, List{kAsp});
    mb.AddSite(2, List{kAsp});
    mb.FailOn(step);
    EXPECT_THROW(SetAllSitesScriptMap(mb, true, kDll), MetabaseError) << step;
    EXPECT_EQ(mb.ListProperty("localhost/w3svc/1/ROOT", kScriptMaps), (List{kAsp, kOwn})) << step;
    EXPECT_EQ(mb.ListProperty("localhost/w3svc/2/ROOT", kScriptMaps), List{kAsp}) << step;
  }
}

TEST(SetAllSitesScriptMap, AnEnumeratorFailureEndsTheWalkQuietly) {
  MemoryMetabase cannot_open;
  cannot_open.AddSite(1, List{kAsp});
  cannot_open.FailOn("OpenPath(IIS://Localhost/w3svc,IADsContainer)");
  EXPECT_NO_THROW(SetAllSitesScriptMap(cannot_open, true, kDll));
  EXPECT_EQ(cannot_open.ListProperty("localhost/w3svc/1/ROOT", kScriptMaps), List{kAsp});

  MemoryMetabase cannot_build;
  cannot_build.AddSite(1, List{kAsp});
  cannot_build.FailOn("Enumerate(");
  EXPECT_NO_THROW(SetAllSitesScriptMap(cannot_build, true, kDll));
  EXPECT_EQ(cannot_build.CountCalls("OpenPath(IIS://Localhost/w3svc/1"), 0);

  // Children: Filters, 1, 2; the enumerator fails on the third fetch.
  MemoryMetabase stops;
  stops.AddSite(1, List{kAsp});
  stops.AddSite(2, List{kAsp});
  stops.FailOn("Next(", 3);
  EXPECT_NO_THROW(SetAllSitesScriptMap(stops, true, kDll));
  EXPECT_EQ(stops.ListProperty("localhost/w3svc/1/ROOT", kScriptMaps), (List{kAsp, kOwn}));
  EXPECT_EQ(stops.ListProperty("localhost/w3svc/2/ROOT", kScriptMaps), List{kAsp});

  UnavailableMetabase none;
  EXPECT_NO_THROW(SetAllSitesScriptMap(none, true, kDll));
}

TEST(MemoryMetabase, WritesReachTheStoreOnlyAtSetInfo) {
  MemoryMetabase mb("a");
  auto filters = mb.OpenNamespace()
                     ->GetObject(kServiceClass, kServiceRelativePath)
                     ->GetObject(kFiltersClass, kFiltersRelativePath);
  filters->PutString(kFilterLoadOrder, "b");
  EXPECT_EQ(filters->GetString(kFilterLoadOrder), "b");
  EXPECT_EQ(mb.StringProperty(kFilters, kFilterLoadOrder), "a");
  filters->SetInfo();
  EXPECT_EQ(mb.StringProperty(kFilters, kFilterLoadOrder), "b");
  EXPECT_THROW(mb.OpenNamespace()->GetObject(kFilterClass, kServiceRelativePath), MetabaseError);
}

}  // namespace
}  // namespace zelk::manager
