// Hosts: the host logins of the users.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Walks the hosts of a user.  0 while a row is delivered, 1 at the end.
int dbgHostGetList(int mode, HostRecord& host, std::int32_t userId);

/// The hosts of many users, each user's in the order of dbgHostGetList.
BulkRows<HostRecord>& dbgHostBulkForUser();

}  // namespace pelo
