// Components.
#pragma once

#include <cstdint>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Reads a component by its id.  0 found and filled; 1 no such row, the record untouched.
int dbgCompGetById(ComponentRecord& component, std::int32_t id);

/// The components of many ids, each as dbgCompGetById reads it.
BulkRows<ComponentRecord>& dbgCompBulkById();

}  // namespace pelo
