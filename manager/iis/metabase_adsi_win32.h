// The metabase of a Windows server: IIS through Active Directory Service
// Interfaces (the "IISNamespace" object by late binding, ADsGetObject,
// ADsBuildEnumerator, IADs, IADsContainer, and the IIS objects' dispatch
// methods GetDataPaths, AddExtensionFile and DeleteExtensionFileRecord).
// Every object is created per call and released before the operation that
// made it returns. COM must be initialised on the calling thread; where IIS
// or its provider is missing every call throws MetabaseError.
#pragma once

#include <memory>

#include "manager/iis/metabase.h"

namespace zelk::manager {

std::unique_ptr<Metabase> MakeAdsiMetabase();

}  // namespace zelk::manager
