// Users.
#pragma once

#include <cstdint>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Reads a user by its id.  0 found and filled; 1 no such row, the record untouched.
int dbgUserGetById(UserRecord& user, std::int32_t id);

/// The users of many ids, each as dbgUserGetById reads it.
BulkRows<UserRecord>& dbgUserBulkById();

}  // namespace pelo
