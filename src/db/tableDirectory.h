// The family's tables and views by directory index, as the family server
// numbers them.
#pragma once

namespace pelo {

/// Mixed-case name of the family table with directory index 1 to 69.
const char* getTableName(int index);

}  // namespace pelo
