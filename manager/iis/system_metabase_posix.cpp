#include "manager/iis/system_metabase.h"

namespace zelk::manager {

std::unique_ptr<Metabase> MakeSystemMetabase() { return std::make_unique<UnavailableMetabase>(); }

}  // namespace zelk::manager
