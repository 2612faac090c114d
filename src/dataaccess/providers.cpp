// The program's real providers, put into the registry on first use.
#include "dataaccess/access_provider.h"
#include "dataaccess/backend.h"

namespace vq {

void RegisterStandardProviders(ProviderRegistry& registry) {
  // The ASE provider registers "ASEOLEDB".
  RegisterAccessProvider(registry);
}

}  // namespace vq
