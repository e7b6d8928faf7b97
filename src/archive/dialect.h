// The family's database product as a value: what the populate script of
// each product looks like, and how a text becomes an SQL literal in it.
// The installation record is read once into a Dialect; everything after
// that asks the dialect, never the product's name.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace pelo {

/// The database products; dizoz is the VQL database.  none until the
/// installation record names one.
enum class Dialect { oracle, informix, sybase, dizoz, none };

/// One product's settings for the populate script.
struct DialectSettings {
    Dialect dialect;
    const char* name;          // as the information file records it: "oracle" ...
    const char* recordText;    // the text that names it in the installation record
    const char* commitString;  // "" when the script commits nothing
    const char* semiString;    // ends every insert statement
    const char* scriptHeader;  // "" when there is none, or when hereDocument
    // The script is a shell command feeding the SQL tool a here-document:
    // its header is the tool's line, made at run time because the tool's
    // path is found then, and the shell reads every value in it.
    bool hereDocument;
    const char* scriptTrailer;  // "" when there is none
};

/// The four products, in the order the installation record is searched.
std::span<const DialectSettings> databaseProducts();

/// The settings of a dialect; for none every text is empty.
const DialectSettings& dialectSettings(Dialect dialect);

/// The dialect whose name is given ("oracle", "informix", "sybase",
/// "dizoz"); none for anything else, the empty name included.
Dialect dialectNamed(std::string_view name);

/// The text as an SQL literal of the dialect, the counterpart of
/// shellQuote: between single quotes, each quote inside written twice.  In
/// a here-document script a backslash, a dollar sign or a back quote is
/// also preceded by a backslash, so the shell hands the value over as it
/// stands.  Empty text gives ''.
std::string sqlQuote(Dialect dialect, std::string_view text);

/// The word null (unquoted) for empty text; otherwise sqlQuote.
std::string sqlQuoteNullable(Dialect dialect, std::string_view text);

/// sqlQuote of the text with each ' ` & and ; replaced by one blank, as
/// the free-text columns are written.
std::string sqlQuoteCleaned(Dialect dialect, std::string_view text);

}  // namespace pelo
