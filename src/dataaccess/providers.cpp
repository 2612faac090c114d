// The program's real providers, put into the registry on first use.
#include "dataaccess/access_provider.h"
#include "dataaccess/ase_provider.h"
#include "dataaccess/backend.h"

namespace vq {

void RegisterStandardProviders(ProviderRegistry& registry) {
  RegisterAccessProvider(registry);
  RegisterAseProvider(registry);
}

}  // namespace vq
