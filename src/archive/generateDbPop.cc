#include "archive/phases.h"

namespace pelo {

// Placeholder: the object selection and populate script are not built yet.
int generateDbPopulateFile() { return 0; }

}  // namespace pelo
