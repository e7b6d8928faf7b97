#include "archive/scriptReload.h"

#include <strings.h>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <sstream>
#include <utility>

#include "db/client.h"
#include "db/schema.h"

namespace pelo {
namespace {

/// The family keeps at most this many configurable fields per object kind.
constexpr std::size_t configuredFieldsMax = 20;

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

bool isWord(const std::string& word, const char* expected) { return strcasecmp(word.c_str(), expected) == 0; }

/// One section of an export file, its head already read; lineNo counts
/// the lines read.  The row count; throws ReloadError with the reason.
long importSection(std::istream& in, const std::string& head, int& lineNo) {
    std::istringstream fields(head);
    std::string magic, version, table, line;
    std::size_t columns = 0;
    long rows = -1;
    if (!(fields >> magic >> version >> table >> columns >> rows) || magic != "PELO-EXPORT" || version != "1" ||
        rows < 0 || !isSqlName(table))
        throw ReloadError("not the head of an export section");
    ++lineNo;
    if (!std::getline(in, line))
        throw ReloadError("no column names");
    const std::vector<std::string> names = splitExportLine(line);
    if (names.size() != columns || columns >= inserts.size() || !std::all_of(names.begin(), names.end(), isSqlName))
        throw ReloadError("the column names are not " + std::to_string(columns) + " SQL names");
    const std::string text = insertText(table, names, columns);
    for (long row = 0; row < rows; ++row) {
        ++lineNo;
        if (!std::getline(in, line))
            throw ReloadError(table + " ends after " + std::to_string(row) + " of " + std::to_string(rows) + " rows");
        const std::vector<std::string> values = splitExportLine(line);
        if (values.size() != columns)
            throw ReloadError(std::to_string(values.size()) + " fields, not " + std::to_string(columns));
        if (inserts[columns](text, values) < 0)
            throw ReloadError(table + ": " + sqlca.sqlerrm);
    }
    return rows;
}

/// The statements that add the columns to the table.
std::string addColumns(const char* table, const std::vector<std::string>& columns) {
    std::string text;
    for (const std::string& column : columns) {
        if (!isSqlName(column))
            throw ReloadError("configField: \"" + column + "\" is not a column name");
        text += std::string("ALTER TABLE ") + table + " ADD COLUMN " + column + " VARCHAR(254);\n";
    }
    return text;
}

/// Whether the statement is one insert, as SQLite's own tokenizer reads
/// it: its first word is "insert" and no ';' ends a statement before its
/// end.  A quote the script's reader took for a literal's may be part of
/// an identifier to SQLite, so the reader's own split proves nothing here.
bool isOneInsert(std::string_view statement) {
    const std::vector<std::string> words = statementWords(statement.substr(0, 16));
    if (words.empty() || !isWord(words[0], "insert"))
        return false;
    for (std::size_t at = statement.find(';'); at != std::string_view::npos; at = statement.find(';', at + 1))
        if (sqlite3_complete(std::string(statement.substr(0, at + 1)).c_str()) != 0)
            return false;
    return true;
}

/// Whether the shell expands a '$' followed by c in a here-document.
bool shellExpands(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '{' || c == '(' ||
           std::string_view("?*@#!$-").find(c) != std::string_view::npos;
}

/// Whether text begins with "$4" and no further digit: the load directory.
bool namesLoadDirectory(std::string_view text) {
    return text.starts_with("$4") && (text.size() == 2 || std::isdigit(static_cast<unsigned char>(text[2])) == 0);
}

/// Whether the statement is a load statement, handed to run.load; a
/// statement beginning with "load" in another form is a problem.
bool loaded(std::string_view statement, int line, const ScriptRun& run) {
    try {
        const std::optional<LoadStatement> load = loadStatementOf(statement);
        if (load)
            run.load(line, *load);
        return load.has_value();
    } catch (const ReloadError& failure) {
        run.problem(line, failure.what(), statement);
        return true;
    }
}

}  // namespace

bool isSqlName(std::string_view name) {
    const auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_'; };
    return !name.empty() && letter(name[0]) &&
           std::all_of(name.begin(), name.end(),
                       [&](char c) { return letter(c) || std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

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

std::vector<std::string> statementWords(std::string_view statement) {
    std::vector<std::string> out;
    for (std::size_t i = statement.find_first_not_of(" \t\n"); i != std::string_view::npos;
         i = statement.find_first_not_of(" \t\n", i)) {
        const bool quoted = statement[i] == '"';
        const std::size_t end = quoted ? statement.find('"', i + 1) : statement.find_first_of(" \t\n", i);
        const std::size_t stop = end == std::string_view::npos ? statement.size() : end;
        out.emplace_back(statement.substr(i + quoted, stop - i - quoted));
        i = end == std::string_view::npos ? end : end + quoted;
    }
    return out;
}

long importExportText(std::string_view text, const std::string& name) {
    std::istringstream in{std::string(text)};
    long total = 0;
    int lineNo = 0;
    for (std::string head; std::getline(in, head);) {
        ++lineNo;
        try {
            total += importSection(in, head, lineNo);
        } catch (const ReloadError& failure) {
            throw ReloadError(name + " line " + std::to_string(lineNo) + ": " + failure.what());
        }
    }
    return total;
}

std::optional<LoadStatement> loadStatementOf(std::string_view statement) {
    const std::vector<std::string> w = statementWords(statement);
    if (w.empty() || !isWord(w[0], "load"))
        return std::nullopt;
    if (w.size() != 8 || !isWord(w[1], "from") || !isWord(w[3], "delimiter") || w[4].size() != 1 ||
        !isWord(w[5], "insert") || !isWord(w[6], "into") || !isSqlName(w[7]))
        throw ReloadError("not a load statement of the form load from \"F\" delimiter \"C\" insert into T: " +
                          std::string(statement.substr(0, 60)));
    return LoadStatement{w[2], w[4][0], w[7]};
}

long loadRecords(std::string_view text, char delimiter, const std::string& table, const std::string& name) {
    const std::size_t columns = SqlCursor("SELECT * FROM " + table).describe().size();
    if (columns == 0 || columns >= inserts.size())
        throw ReloadError("load into " + table + ": " + sqlca.sqlerrm);
    const std::string insert = insertText(table, {}, columns);
    std::istringstream in{std::string(text)};
    std::string line, record;
    long rows = 0;
    while (std::getline(in, line)) {
        // Remarks may hold new-lines, so a record ends only at the
        // delimiter that completes the table's column count.
        record += line;
        const auto delimiters = std::size_t(std::count(record.begin(), record.end(), delimiter));
        if (delimiters < columns) {
            record += '\n';
            continue;
        }
        if (delimiters > columns || record.back() != delimiter)
            throw ReloadError("bad record in " + name + ": " + record.substr(0, 60));
        if (inserts[columns](insert, splitLoadRecord(record, delimiter)) < 0)
            throw ReloadError(table + ": " + sqlca.sqlerrm);
        record.clear();
        ++rows;
    }
    if (record.find_first_not_of(" \t\n") != std::string::npos)
        throw ReloadError(name + " ends inside a record");
    return rows;
}

std::vector<std::string> configuredColumns(std::string_view fieldTable) {
    std::vector<std::string> columns;
    std::istringstream in{std::string(fieldTable)};
    for (std::string line; std::getline(in, line) && columns.size() < configuredFieldsMax;) {
        const std::size_t bar = line.find('|');
        if (bar == std::string::npos || line.compare(0, bar, "no") == 0)
            continue;
        const std::size_t end = line.find('|', bar + 1);
        columns.push_back(line.substr(bar + 1, end == std::string::npos ? end : end - bar - 1));
    }
    return columns;
}

std::string configuredColumnsSql(const ArchiveFileReader& read) {
    const auto columnsOf = [&](const char* table) {
        return configuredColumns(read(std::string("configField/") + table).value_or(""));
    };
    // Defects and features share the Defects table, whose insert names its
    // columns: a field of both kinds is one column.
    std::vector<std::string> defectColumns = columnsOf("DefectConfigTbl");
    for (const std::string& column : columnsOf("FeatureConfigTbl"))
        if (std::none_of(defectColumns.begin(), defectColumns.end(),
                         [&](const std::string& c) { return strcasecmp(c.c_str(), column.c_str()) == 0; }))
            defectColumns.push_back(column);
    return addColumns("DEFECTS", defectColumns) + addColumns("FILES", columnsOf("FileConfigTbl")) +
           addColumns("USERS", columnsOf("UserConfigTbl"));
}

void createFamilySchema(const ArchiveFileReader& read) {
    if (sqlExecuteScript(familySchemaSql()) < 0)
        throw ReloadError("the family schema cannot be created: " + sqlca.sqlerrm);
    const std::string columns = configuredColumnsSql(read);
    if (!columns.empty() && sqlExecuteScript(columns) < 0)
        throw ReloadError("the configured columns cannot be added: " + sqlca.sqlerrm);
}

long runScript(std::string_view script, const ScriptRun& run, int lineOffset) {
    ScriptReader reader(script, run.dialect);
    long count = 0;
    for (ScriptStatement statement; reader.next(statement);) {
        const int line = statement.line + lineOffset;
        if (isTransactionControl(statement.text) || (run.load && loaded(statement.text, line, run)))
            continue;
        if (run.insertsOnly && !isOneInsert(statement.text))
            run.problem(line, "not an insert; not run", statement.text);
        else if (sqlExecuteScript(statement.text) < 0)
            run.problem(line, sqlca.sqlerrm, statement.text);
        else
            ++count;
    }
    if (const auto& fault = reader.fault())
        run.problem(fault->line + lineOffset, fault->reason, {});
    return count;
}

std::optional<std::string> hereDocumentStatements(std::string_view script, ScriptFault& fault) {
    if (const auto checked = checkInformixScript(script))
        return fault = *checked, std::nullopt;
    const std::size_t begin = script.find('\n') + 1;
    std::size_t end = begin;  // the start of the line "!", which the check found
    while (script.substr(end, script.find('\n', end) - end) != "!")
        end = script.find('\n', end) + 1;
    std::string text;
    int line = 1;
    for (std::size_t i = begin; i < end; ++i) {
        const char c = script[i];
        const char next = i + 1 < end ? script[i + 1] : '\0';
        if (c == '\\' && (next == '\\' || next == '$' || next == '`')) {
            text += script[++i];
        } else if (c == '\\' && next == '\n') {
            ++i, ++line;
        } else if (c == '$' && shellExpands(next) && !namesLoadDirectory(script.substr(i, end - i))) {
            return fault = {line + 1, "an unescaped '$': the shell would expand it"}, std::nullopt;
        } else {
            text += c;
            line += c == '\n';
        }
    }
    return text;
}

}  // namespace pelo
