// CompMembers: the links of the component tree.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Walks the links to the parents of a component.  0 while a row is delivered, 1 at the end.
int dbgCompmemberGetAllParents(int mode, CompMemberRecord& compMember, std::int32_t childId);

/// The same walk on a cursor of its own, so that it can run inside a dbgCompmemberGetAllParents
/// walk.  0 while a row is delivered, 1 at the end.
int dbgCompmemberGetAllParents2(int mode, CompMemberRecord& compMember, std::int32_t childId);

/// The memberships of many children, each child's in the order of dbgCompmemberGetAllParents.
BulkRows<CompMemberRecord>& dbgCompmemberBulkForChild();

/// dbgCompmemberBulkForChild for a walk inside one over it, with the
/// second cursor for the children no load took.
BulkRows<CompMemberRecord>& dbgCompmemberBulkForChild2();

}  // namespace pelo
