#include "archive/phases.h"

namespace pelo {

// Placeholder: the removal of archived objects is not built yet.
int removeArchivedObjects() { return 0; }

}  // namespace pelo
