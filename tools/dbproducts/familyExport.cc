#include "familyExport.h"

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

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

/// Runs an INSERT whose N values are only known at run time: the client
/// layer takes its inputs as a list fixed at compile time, so one
/// instantiation per column count up to 40 is dispatched to.
template <std::size_t... I>
int insertWith(std::string_view text, const std::vector<std::string>& values, std::index_sequence<I...>) {
    return sqlExecute(text, {SqlBind{int(I) + 1, std::string_view(values[I])}...});
}

template <std::size_t... N>
constexpr auto insertTable(std::index_sequence<N...>) {
    using Insert = int (*)(std::string_view, const std::vector<std::string>&);
    return std::array<Insert, sizeof...(N)>{[](std::string_view text, const std::vector<std::string>& values) {
        return insertWith(text, values, std::make_index_sequence<N>{});
    }...};
}

constexpr auto inserts = insertTable(std::make_index_sequence<41>{});

std::vector<std::string> splitLoadLine(const std::string& line, char delimiter) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : line) {
        if (c == delimiter) {
            fields.push_back(field == "null" ? "" : field);
            field.clear();
        } else {
            field += c;
        }
    }
    return fields;
}

int loadFile(const std::string& path, char delimiter, const std::string& table, std::string& error) {
    std::ifstream in(path);
    if (!in)
        return error = "cannot open load file " + path, 1;
    std::string line, record;
    while (std::getline(in, line)) {
        // A record ends with the delimiter; a remark's newline continues it.
        record += line;
        if (record.empty() || record.back() != delimiter) {
            record += '\n';
            continue;
        }
        std::vector<std::string> fields = splitLoadLine(record, delimiter);
        record.clear();
        if (fields.empty() || fields.size() >= inserts.size())
            return error = "bad record in " + path, 1;
        std::string text = "INSERT INTO " + table + " VALUES (";
        for (std::size_t i = 0; i < fields.size(); ++i)
            text += (i ? ",:b" : ":b") + std::to_string(i + 1);
        if (inserts[fields.size()](text + ")", fields) < 0)
            return error = table + ": " + sqlca.sqlerrm, 1;
    }
    return 0;
}

/// Handles "load from "F" delimiter "C" insert into T"; false when the
/// statement has another form.
bool loadStatement(const std::string& statement, int& result, std::string& error) {
    std::istringstream in(statement);
    std::string load, from, file, delimiterWord, delimiter, insert, into, table;
    in >> load >> from >> file >> delimiterWord >> delimiter >> insert >> into >> table;
    if (strcasecmp(load.c_str(), "load") != 0 || strcasecmp(insert.c_str(), "insert") != 0)
        return false;
    auto unquote = [](std::string text) {
        return text.size() >= 2 && text.front() == '"' ? text.substr(1, text.size() - 2) : text;
    };
    std::string delimiterText = unquote(delimiter);
    result = loadFile(unquote(file), delimiterText.empty() ? '|' : delimiterText[0], table, error);
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
    std::string user = login.empty() ? "family" : login;
    if (sqlConnect(target, user, password.empty() ? "none" : password) != 0)
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
        } else if (statement.find("commit work") != std::string::npos) {
            if (sqlCommit() < 0)
                return error = "commit: " + sqlca.sqlerrm, 1;
        } else if (sqlExecuteScript(statement) < 0) {
            return error = statement.substr(0, 60) + ": " + sqlca.sqlerrm, 1;
        }
    }
    return sqlCommit() < 0 ? (error = sqlca.sqlerrm, 1) : 0;
}

}  // namespace pelo::dbproducts
