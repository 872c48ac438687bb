// clang-format off
#include <windows.h>
#include <objbase.h>
// clang-format on

#include "manager/iis/metabase_adsi_win32.h"
#include "manager/iis/system_metabase.h"

namespace zelk::manager {
namespace {

// The ADSI metabase inside a COM initialisation of its own.
class ComMetabase final : public Metabase {
 public:
  ComMetabase()
      : com_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)), adsi_(MakeAdsiMetabase()) {}
  ~ComMetabase() override {
    adsi_.reset();
    // S_FALSE (already initialised) is counted too; RPC_E_CHANGED_MODE is not.
    if (SUCCEEDED(com_)) CoUninitialize();
  }
  ComMetabase(const ComMetabase&) = delete;
  ComMetabase& operator=(const ComMetabase&) = delete;

  std::unique_ptr<MetabaseObject> OpenNamespace() override { return adsi_->OpenNamespace(); }
  std::unique_ptr<MetabaseObject> OpenPath(const std::string& path, MetabaseInterface as) override {
    return adsi_->OpenPath(path, as);
  }

 private:
  const HRESULT com_;
  std::unique_ptr<Metabase> adsi_;
};

}  // namespace

std::unique_ptr<Metabase> MakeSystemMetabase() { return std::make_unique<ComMetabase>(); }

}  // namespace zelk::manager
