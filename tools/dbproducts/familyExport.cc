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

/// "INSERT INTO table (names) VALUES (:b1,...)", without the list of
/// names when there are none.
std::string insertText(const std::string& table, const std::vector<std::string>& names, std::size_t count) {
    std::string text = "INSERT INTO " + table;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i ? "," : " (") + names[i] + (i + 1 == names.size() ? ")" : "");
    text += " VALUES (";
    for (std::size_t i = 0; i < count; ++i)
        text += (i ? ",:b" : ":b") + std::to_string(i + 1);
    return text + ")";
}

std::vector<std::string> splitLoadRecord(const std::string& record, char delimiter) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : record) {
        if (c == delimiter) {
            fields.push_back(field == "null" ? "" : field);
            field.clear();
        } else {
            field += c;
        }
    }
    return fields;
}

/// Remarks may hold new-lines, so a record ends only at the delimiter
/// that completes the table's column count; "1|2|\nfirst line|" is one
/// record of three fields.
int loadFile(const std::string& path, char delimiter, const std::string& table, std::string& error) {
    const std::size_t columns = SqlCursor("SELECT * FROM " + table).describe().size();
    if (columns == 0 || columns >= inserts.size())
        return error = "load into " + table + ": " + sqlca.sqlerrm, 1;
    std::ifstream in(path);
    if (!in)
        return error = "cannot open load file " + path, 1;
    const std::string text = insertText(table, {}, columns);
    std::string line, record;
    while (std::getline(in, line)) {
        record += line;
        const auto delimiters = std::size_t(std::count(record.begin(), record.end(), delimiter));
        if (delimiters < columns) {
            record += '\n';
            continue;
        }
        if (delimiters > columns || record.back() != delimiter)
            return error = "bad record in " + path + ": " + record.substr(0, 60), 1;
        if (inserts[columns](text, splitLoadRecord(record, delimiter)) < 0)
            return error = table + ": " + sqlca.sqlerrm, 1;
        record.clear();
    }
    if (record.find_first_not_of(" \t\n") != std::string::npos)
        return error = path + " ends inside a record", 1;
    return 0;
}

/// The words of a statement, a double-quoted text being one word without
/// its quotes.
std::vector<std::string> words(const std::string& statement) {
    std::vector<std::string> out;
    for (std::size_t i = statement.find_first_not_of(" \t\n"); i != std::string::npos;
         i = statement.find_first_not_of(" \t\n", i)) {
        const bool quoted = statement[i] == '"';
        const std::size_t end = quoted ? statement.find('"', i + 1) : statement.find_first_of(" \t\n", i);
        out.push_back(statement.substr(i + quoted, (end == std::string::npos ? statement.size() : end) - i - quoted));
        i = end == std::string::npos ? end : end + quoted;
    }
    return out;
}

bool isWord(const std::string& word, const char* expected) { return strcasecmp(word.c_str(), expected) == 0; }

/// Handles "load from "F" delimiter "C" insert into T"; false when the
/// statement does not begin with "load".
bool loadStatement(const std::string& statement, int& result, std::string& error) {
    const std::vector<std::string> w = words(statement);
    if (w.empty() || !isWord(w[0], "load"))
        return false;
    if (w.size() != 8 || !isWord(w[1], "from") || !isWord(w[3], "delimiter") || w[4].size() != 1 ||
        !isWord(w[5], "insert") || !isWord(w[6], "into") || !isSqlName(w[7])) {
        error = "not a load statement of the form load from \"F\" delimiter \"C\" insert into T: " +
                statement.substr(0, 60);
        result = 1;
        return true;
    }
    result = loadFile(w[2], w[4][0], w[7], error);
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
    const std::vector<std::string> w = words(statement);
    return w.size() == 2 && isWord(w[0], "commit") && isWord(w[1], "work");
}

/// One section of an export file, its head already read; lineNo counts
/// the lines read.  The row count, or -1 with the reason in error.
long importSection(std::istream& in, const std::string& head, int& lineNo, std::string& error) {
    std::istringstream fields(head);
    std::string magic, version, table, line;
    std::size_t columns = 0;
    long rows = -1;
    if (!(fields >> magic >> version >> table >> columns >> rows) || magic != "PELO-EXPORT" || version != "1" ||
        rows < 0 || !isSqlName(table))
        return error = "not the head of an export section", -1;
    ++lineNo;
    if (!std::getline(in, line))
        return error = "no column names", -1;
    const std::vector<std::string> names = splitExportLine(line);
    if (names.size() != columns || columns >= inserts.size() || !std::all_of(names.begin(), names.end(), isSqlName))
        return error = "the column names are not " + std::to_string(columns) + " SQL names", -1;
    const std::string text = insertText(table, names, columns);
    for (long row = 0; row < rows; ++row) {
        ++lineNo;
        if (!std::getline(in, line))
            return error = table + " ends after " + std::to_string(row) + " of " + std::to_string(rows) + " rows", -1;
        const std::vector<std::string> values = splitExportLine(line);
        if (values.size() != columns)
            return error = std::to_string(values.size()) + " fields, not " + std::to_string(columns), -1;
        if (inserts[columns](text, values) < 0)
            return error = table + ": " + sqlca.sqlerrm, -1;
    }
    return rows;
}

}  // namespace

std::vector<std::string> splitExportLine(const std::string& line) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size())
            fields.back() += line[++i] == 'n' ? '\n' : line[i];
        else if (line[i] == '|')
            fields.emplace_back();
        else
            fields.back() += line[i];
    }
    return fields;
}

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

long importTables(const std::string& path, std::string& error) {
    std::ifstream in(path);
    if (!in)
        return error = "cannot open " + path, -1;
    long total = 0;
    int lineNo = 0;
    for (std::string head; std::getline(in, head);) {
        ++lineNo;
        const long rows = importSection(in, head, lineNo, error);
        if (rows < 0)
            return error = path + " line " + std::to_string(lineNo) + ": " + error, -1;
        total += rows;
    }
    if (in.bad())
        return error = "cannot read " + path, -1;
    return total;
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

bool isSqlName(std::string_view name) {
    const auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_'; };
    return !name.empty() && letter(name[0]) &&
           std::all_of(name.begin(), name.end(),
                       [&](char c) { return letter(c) || std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace pelo::dbproducts
