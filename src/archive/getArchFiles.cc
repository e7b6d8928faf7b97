#include "archive/phases.h"

namespace pelo {

// Placeholder: the level maps are not collected yet.
int getLevelMaps() { return 0; }

// Placeholder: the family configuration files are not collected yet.
int getFamilyConfigFiles() { return 0; }

// Placeholder: the version-control histories are not collected yet.
int getVCFiles() { return 0; }

}  // namespace pelo
