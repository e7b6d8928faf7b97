#include "archive/phases.h"

namespace pelo {

// Placeholder: the work files are not created yet.
void createFiles() {}

// Placeholder: the head of the information file is not written yet.
int writeToArchiveInfoFile() { return 0; }

}  // namespace pelo
