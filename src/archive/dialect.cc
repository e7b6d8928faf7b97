#include "archive/dialect.h"

#include <algorithm>

namespace pelo {

namespace {

// A Sybase script is one transaction at a time: it opens one at its head,
// and each commit closes the current one and opens the next.
constexpr DialectSettings products[] = {
    {Dialect::oracle, "oracle", "ORACLE", "commit;", ";", "", false, ""},
    {Dialect::informix, "informix", "INFORMIX", "commit work;", ";", "", true, "\n!\n"},
    {Dialect::sybase, "sybase", "SYBASE", "commit transaction\ngo\nbegin transaction\ngo", "\ngo",
     "begin transaction\ngo\n\n", false, "\ncommit transaction\ngo\n"},
    {Dialect::dizoz, "dizoz", "VQL", "", ";", "", false, ""},
};

constexpr DialectSettings noProduct{Dialect::none, "", "", "", "", "", false, ""};

}  // namespace

std::span<const DialectSettings> databaseProducts() { return products; }

const DialectSettings& dialectSettings(Dialect dialect) {
    const auto* found = std::ranges::find(products, dialect, &DialectSettings::dialect);
    return found != std::ranges::end(products) ? *found : noProduct;
}

Dialect dialectNamed(std::string_view name) {
    const auto* found = std::ranges::find(products, name, [](const DialectSettings& d) {
        return std::string_view(d.name);
    });
    return found != std::ranges::end(products) ? found->dialect : Dialect::none;
}

std::string sqlQuote(Dialect dialect, std::string_view text) {
    const bool hereDocument = dialectSettings(dialect).hereDocument;
    std::string literal = "'";
    for (char c : text) {
        if (c == '\'')
            literal += '\'';
        else if (hereDocument && (c == '\\' || c == '$' || c == '`'))
            literal += '\\';
        literal += c;
    }
    literal += '\'';
    return literal;
}

std::string sqlQuoteNullable(Dialect dialect, std::string_view text) {
    return text.empty() ? "null" : sqlQuote(dialect, text);
}

std::string sqlQuoteCleaned(Dialect dialect, std::string_view text) {
    std::string cleaned(text);
    std::ranges::replace_if(
        cleaned, [](char c) { return c == '\'' || c == '`' || c == '&' || c == ';'; }, ' ');
    return sqlQuote(dialect, cleaned);
}

}  // namespace pelo
