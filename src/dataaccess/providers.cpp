// The program's real providers, put into the registry on first use.
#include "dataaccess/ase_provider.h"
#include "dataaccess/backend.h"

namespace vq {

void RegisterStandardProviders(ProviderRegistry& registry) {
  // The Access provider registers "Microsoft.Jet.OLEDB.4.0" and
  // "Microsoft.ACE.OLEDB.12.0".
  RegisterAseProvider(registry);
}

}  // namespace vq
