// Every text made an SQL literal that the product reads as the text itself
// and that neither SQL nor, for the Informix here-document, the shell can
// take for anything else.  A hostile text in each dialect's framing is in
// writeDbPop_test.cc.
#include "archive/dialect.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace pelo {
namespace {

TEST(DialectTest, HostileValuesStayValues) {
    using Render = std::string (*)(Dialect, std::string_view);
    struct Row {
        const char* name;
        Render render;
        Dialect dialect;
        std::string_view text;
        std::string_view literal;
    };
    const Row rows[] = {
        {"Empty", sqlQuote, Dialect::oracle, "", "''"},
        {"NewlinesKept", sqlQuote, Dialect::informix, "a\nb;\n", "'a\nb;\n'"},
        {"NullableEmptyIsNull", sqlQuoteNullable, Dialect::oracle, "", "null"},
        {"NullableBlankIsQuoted", sqlQuoteNullable, Dialect::sybase, " ", "' '"},
        {"NullableEscapes", sqlQuoteNullable, Dialect::informix, "a'$b", "'a''\\$b'"},
        {"CleanedBlanksTheFour", sqlQuoteCleaned, Dialect::oracle, "it's `a` & b; c",
         "'it s  a    b  c'"},
        {"CleanedStillEscapes", sqlQuoteCleaned, Dialect::informix, "$(x);\\", "'\\$(x) \\\\'"},
        {"CleanedEmptyIsNeverNull", sqlQuoteCleaned, Dialect::dizoz, "", "''"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.render(row.dialect, row.text), row.literal) << row.name;
}

}  // namespace
}  // namespace pelo
