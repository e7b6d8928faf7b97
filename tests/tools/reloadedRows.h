// The reloaded rows' checks live with the other models of what an archive
// holds of a family.
#pragma once

#include "tools/removedObjects.h"
