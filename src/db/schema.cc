#include "db/schema.h"

namespace pelo {

// Defined in the files that the build generates from sql/*/family.sql.
extern const char familySchemaText_sqlite[];
extern const char familySchemaText_postgres[];

std::string_view familySchemaSql(SqlProduct product) {
    return product == SqlProduct::postgresql ? familySchemaText_postgres : familySchemaText_sqlite;
}

std::string_view familySchemaSql() { return familySchemaSql(sqlProduct()); }

}  // namespace pelo
