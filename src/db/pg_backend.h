// PostgreSQL behind the client layer, and how its failures become status
// codes.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "db/backend.h"

namespace pelo {

/// The status code of a PostgreSQL failure, made from its five-character
/// SQLSTATE so that the code names the condition:
///
///  - an SQLSTATE of five digits is read as a decimal number: "57014", a
///    cancelled statement, is -57014, and "23505", a duplicate key, -23505;
///  - one with letters is read as a base-36 number (0-9, then A=10 ...
///    Z=35) and offset by 100000, so the two forms never meet: "42P01", an
///    unknown table, is -6944177, and "28P01", a wrong password, -3864881.
///
/// Error classes begin at "03", so no code falls among the client layer's
/// own (-1001 and on).  A text that is not an SQLSTATE reads as "XX000",
/// the server's internal error.  pgSqlStateOfStatus turns a code back.
/// Failures that the client library finds itself carry the SQLSTATE of
/// their kind: "08001" no connection could be made, "08006" the connection
/// was lost, "08003" the session has ended.
constexpr int pgStatusOfSqlState(std::string_view sqlState) {
    const auto valid = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); };
    if (sqlState.size() != 5)
        return pgStatusOfSqlState("XX000");
    bool digitsOnly = true;
    for (char c : sqlState) {
        if (!valid(c))
            return pgStatusOfSqlState("XX000");
        digitsOnly = digitsOnly && c <= '9';
    }
    int value = 0;
    for (char c : sqlState)
        value = value * (digitsOnly ? 10 : 36) + (c <= '9' ? c - '0' : c - 'A' + 10);
    return digitsOnly ? -value : -(100000 + value);
}

/// The SQLSTATE behind a code made by pgStatusOfSqlState; "" for a code
/// that no SQLSTATE gives.
std::string pgSqlStateOfStatus(int status);

/// Connects to the database named by `target`, a postgresql:// or
/// postgres:// URI in the client library's form (for a local server,
/// "postgresql:///family?host=/run/postgresql").  `user` and `password`
/// take the place of any the URI names; an empty one leaves the URI's (or
/// the client library's default).  0 with `out` set, or a negative code with
/// the server's text (or the client library's, when no server answered) in
/// `text`.
///
/// The session keeps the family server's rules: work is uncommitted until
/// commit(), rollback() drops it, an empty text input is stored as NULL, and
/// cursors survive commits.  Reads run outside any transaction block until
/// the session first writes, so a failed read spoils nothing; once a block
/// is open, a failed statement leaves the block refusing every further
/// statement until rollback(), and commit() of such a block fails (after
/// rolling it back) instead of reporting success.
int openPostgresBackend(const std::string& target, const std::string& user, const std::string& password,
                        std::unique_ptr<SqlBackend>& out, std::string& text);

}  // namespace pelo
