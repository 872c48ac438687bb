// The metabase of the system the program runs on: IIS through ADSI on
// Windows, UnavailableMetabase elsewhere. For zelkwaf-manager, whose
// status/install/uninstall commands then see IIS where there is one.
//
// On Windows the metabase initialises COM (apartment-threaded) on the
// calling thread while it lives and uninitialises it when it goes, so a
// thread that never had COM may use it; use and destroy it on that thread.
#pragma once

#include <memory>

#include "manager/iis/metabase.h"

namespace zelk::manager {

std::unique_ptr<Metabase> MakeSystemMetabase();

}  // namespace zelk::manager
