#include "db/schema.h"

namespace pelo {

// Defined in the file that the build generates from sql/sqlite/family.sql.
extern const char familySchemaText[];

std::string_view familySchemaSql() { return familySchemaText; }

}  // namespace pelo
