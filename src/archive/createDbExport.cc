#include "archive/phases.h"

namespace pelo {

// Placeholder: the notes and versions export is not built yet.
int export_Notes_Versions() { return 0; }

}  // namespace pelo
