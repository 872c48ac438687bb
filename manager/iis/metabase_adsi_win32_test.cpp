// The ADSI metabase where IIS is absent, as under Wine: every call fails with
// MetabaseError, and the operations turn that into their failure results.
#include "manager/iis/metabase_adsi_win32.h"

// clang-format off
#include <windows.h>
#include <objbase.h>
// clang-format on

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "manager/iis/install.h"
#include "manager/iis/system_metabase.h"

namespace zelk::manager {
namespace {

TEST(AdsiMetabase, FailsCleanlyWithoutIis) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  {
    auto metabase = MakeAdsiMetabase();
    EXPECT_THROW(metabase->OpenNamespace(), MetabaseError);
    for (MetabaseInterface as : {MetabaseInterface::kIADs, MetabaseInterface::kIADsContainer,
                                 MetabaseInterface::kIISBaseObject}) {
      EXPECT_THROW(metabase->OpenPath(kServicePath, as), MetabaseError);
    }
    EXPECT_FALSE(IsIisFilterInstalled(*metabase, kFilterName));
    EXPECT_FALSE(
        AddIisFilter(*metabase, kFilterName, "C:\\WAF\\IIS\\ZelkWAF.dll", kFilterDescription));
    EXPECT_EQ(SetServiceScriptMap(*metabase, ScriptMapMode::kAdd, "C:\\WAF\\IIS\\ZelkWAF.dll"), 0);
    EXPECT_NO_THROW(SetAllSitesScriptMap(*metabase, true, "C:\\WAF\\IIS\\ZelkWAF.dll"));
  }
  CoUninitialize();
}

// zelkwaf-manager's metabase on Windows asks ADSI (not the stand-in for
// systems without IIS), on a thread of its own whose COM it starts and ends.
TEST(SystemMetabase, IsTheAdsiOneWithItsOwnComInitialisation) {
  std::thread([] {
    {
      auto metabase = MakeSystemMetabase();
      try {
        metabase->OpenNamespace();
        ADD_FAILURE() << "IIS answered under Wine";
      } catch (const MetabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("(IISNamespace) failed"), std::string::npos)
            << e.what();
      }
      EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE) << "COM is on";
      CoUninitialize();
    }
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << "COM ended with it";
    CoUninitialize();
  }).join();
}

}  // namespace
}  // namespace zelk::manager
