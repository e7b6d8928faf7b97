#include "familyExport.h"

#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "archive/scriptReload.h"
#include "db/client.h"

namespace pelo::dbproducts {
namespace {

std::string escapeField(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '|')
            out += '\\';
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return out;
}

/// Handles "load from "F" delimiter "C" insert into T"; false when the
/// statement does not begin with "load".
bool loadStatement(const std::string& statement, int& result, std::string& error) {
    try {
        const std::optional<LoadStatement> load = loadStatementOf(statement);
        if (!load)
            return false;
        std::ifstream in(load->file, std::ios::binary);
        if (!in)
            throw ReloadError("cannot open load file " + load->file);
        loadRecords(std::string(std::istreambuf_iterator<char>(in), {}), load->delimiter, load->table, load->file);
        result = 0;
    } catch (const ReloadError& failure) {
        error = failure.what();
        result = 1;
    }
    return true;
}

std::vector<std::string> splitStatements(const std::string& text) {
    std::vector<std::string> statements;
    std::string current;
    char quote = 0;
    for (char c : text) {
        if (quote ? c == quote : (c == '\'' || c == '"'))
            quote = quote ? 0 : c;
        if (c == ';' && !quote) {
            statements.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (current.find_first_not_of(" \t\n") != std::string::npos)
        statements.push_back(current);
    return statements;
}

bool isCommitWork(const std::string& statement) {
    const std::vector<std::string> w = statementWords(statement);
    return w.size() == 2 && strcasecmp(w[0].c_str(), "commit") == 0 && strcasecmp(w[1].c_str(), "work") == 0;
}

}  // namespace

std::string familyTarget(const std::string& login) {
    if (const char* db = std::getenv("PELO_DB"); db && *db)
        return db;
    struct passwd* entry = login.empty() ? getpwuid(getuid()) : getpwnam(login.c_str());
    return entry ? std::string(entry->pw_dir) + "/family.db" : "";
}

int connectFamily(const std::string& login, const std::string& password, std::string& error) {
    std::string target = familyTarget(login);
    if (target.empty())
        return error = "no family database for " + (login.empty() ? std::string("this login") : login), 1;
    if (sqlConnect(target, login, password) != 0)
        return error = sqlca.sqlerrm, 1;
    return 0;
}

bool failureRequested(const std::string& tool) {
    const char* value = std::getenv("PELO_DBPRODUCT_FAIL");
    if (!value || !*value)
        return false;
    std::string list = std::string(",") + value + ",";
    return list == ",all," || list.find("," + tool + ",") != std::string::npos;
}

long exportTable(const std::string& table, const std::string& path, bool truncate, std::string& error) {
    std::ofstream out(path, truncate ? std::ios::trunc : std::ios::app);
    if (!out)
        return error = "cannot open " + path + " for writing", -1;
    SqlCursor cursor("SELECT * FROM " + table);
    if (cursor.open({}) < 0)
        return error = sqlca.sqlerrm, -1;
    std::vector<SqlColumn> columns = cursor.describe();
    std::ostringstream rows;
    SqlRow row;
    long count = 0;
    while (cursor.fetch(row) == 0) {
        for (int i = 0; i < row.columns(); ++i)
            rows << (i ? "|" : "") << escapeField(row.textAt(i));
        rows << "\n";
        ++count;
    }
    cursor.close();
    if (sqlca.sqlcode < 0)
        return error = sqlca.sqlerrm, -1;
    std::string name = table;
    for (char& c : name)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    out << "PELO-EXPORT 1 " << name << " " << columns.size() << " " << count << "\n";
    for (std::size_t i = 0; i < columns.size(); ++i)
        out << (i ? "|" : "") << columns[i].name;
    out << "\n" << rows.str();
    if (!out.flush())
        return error = "cannot write " + path, -1;
    return count;
}

int runStatements(const std::string& text, std::string& error) {
    for (const std::string& statement : splitStatements(text)) {
        if (statement.find_first_not_of(" \t\n") == std::string::npos)
            continue;
        int result = 0;
        if (loadStatement(statement, result, error)) {
            if (result != 0)
                return 1;
        } else if (isCommitWork(statement)) {
            if (sqlCommit() < 0)
                return error = "commit: " + sqlca.sqlerrm, 1;
        } else if (sqlExecuteScript(statement) < 0) {
            return error = statement.substr(0, 60) + ": " + sqlca.sqlerrm, 1;
        }
    }
    return sqlCommit() < 0 ? (error = sqlca.sqlerrm, 1) : 0;
}

}  // namespace pelo::dbproducts
