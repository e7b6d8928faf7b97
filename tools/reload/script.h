// The statements of a populate script in the plain forms: the Oracle and
// VQL scripts end every statement with ';', the Sybase script ends every
// batch with a line "go".  A terminator inside a quoted literal ends
// nothing: a literal may hold ';', new-lines, a line "go" and doubled
// quotes ('' for one quote).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace pelo::reload {

enum class Dialect { oracle, informix, sybase, dizoz };

/// The populate script's name in an archive.
inline constexpr const char* scriptName = "PELOarchive.dbData";

/// Any failure of a reload; its text says what and where.
struct ReloadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// Throws a ReloadError naming the script's line and the reason.
[[noreturn]] void scriptError(int line, const std::string& reason);

struct ScriptStatement {
    std::string_view text;  ///< without the terminator and surrounding blanks
    int line = 0;           ///< line of its first character, from 1
};

/// Walks a script held by the caller, one statement at a time.
class ScriptReader {
public:
    /// dialect is oracle, sybase or dizoz; the script must outlive the reader.
    ScriptReader(std::string_view script, Dialect dialect);

    /// True with the next statement, false at the end.  Throws ReloadError
    /// for a literal left open or text after the last terminator.
    bool next(ScriptStatement& statement);

private:
    /// Past the line at pos_ when it is "go" (trailing blanks allowed, as
    /// the writer's commit after hosts leaves one), else npos.
    std::size_t pastGoLine() const;

    std::string_view script_;
    bool batches_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

/// True for the statements that end or begin a transaction ("commit",
/// "commit work", "commit transaction", "begin transaction", any case and
/// spacing): a reload runs in one transaction, so they are passed over.
bool isTransactionControl(std::string_view statement);

}  // namespace pelo::reload
