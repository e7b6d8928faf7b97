// Writing the planned family into its database through the client layer.
#pragma once

#include <string>

#include "model.h"

namespace pelo::family {

/// Creates the schema in the database named by target (an SQLite file is
/// made empty first) and inserts every planned row, the configured
/// columns included, in one transaction.  0, or 1 with the reason in error.
int writeFamilyDatabase(const Family& family, const std::string& target, std::string& error);

}  // namespace pelo::family
