#include "archive/phases.h"

namespace pelo {

// Placeholder: the storage estimate is not built yet.
int calculateStorage() { return 0; }

}  // namespace pelo
