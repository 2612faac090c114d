// The program's real providers, put into the registry on first use.
#include "dataaccess/access_provider.h"
#include "dataaccess/ase_provider.h"
#include "dataaccess/backend.h"

namespace vq {

void RegisterStandardProviders(ProviderRegistry& registry) {
  // "Microsoft.Jet.OLEDB.4.0" and "Microsoft.ACE.OLEDB.12.0".
  RegisterAccessProvider(registry);
  // "ASEOLEDB".
  RegisterAseProvider(registry);
}

}  // namespace vq
