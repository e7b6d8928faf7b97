// The one place where the family's embedded-SQL texts become backend texts.
#include "db/backend.h"

#include <algorithm>
#include <cctype>

namespace pelo {

namespace {

bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$';
}

/// Index just past the quoted literal or identifier opening at `at`; a
/// doubled quote inside stays part of it.
std::size_t skipQuoted(std::string_view text, std::size_t at) {
    const char quote = text[at];
    std::size_t i = at + 1;
    while (i < text.size()) {
        if (text[i] == quote) {
            if (i + 1 < text.size() && text[i + 1] == quote) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return i;
}

std::size_t skipBlanks(std::string_view text, std::size_t i) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0)
        ++i;
    return i;
}

/// Index just past a host variable ":name" at `at`, or `at` when none.
std::size_t skipHostVariable(std::string_view text, std::size_t at) {
    if (at >= text.size() || text[at] != ':')
        return at;
    std::size_t i = at + 1;
    while (i < text.size() && isWordChar(text[i]))
        ++i;
    return i > at + 1 ? i : at;
}

/// When an output list "INTO :b1:i1, :b2:i2" starts at `at`, the index
/// just past it; otherwise `at`.
std::size_t skipIntoList(std::string_view text, std::size_t at) {
    const std::string_view word = text.substr(at, 4);
    const bool isInto = word.size() == 4 &&
        std::equal(word.begin(), word.end(), "INTO", [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) == b;
        });
    if (!isInto || (at > 0 && isWordChar(text[at - 1])))
        return at;
    std::size_t i = skipBlanks(text, at + 4);
    if (i >= text.size() || text[i] != ':')
        return at;
    for (;;) {
        std::size_t end = skipHostVariable(text, i);
        end = skipHostVariable(text, end);  // the indicator, when there is one
        const std::size_t next = skipBlanks(text, end);
        if (next >= text.size() || text[next] != ',')
            return end;
        i = skipBlanks(text, next + 1);
    }
}

/// The N of a placeholder ":bN" at `at` with the index past it, or -1.
int placeholderAt(std::string_view text, std::size_t at, std::size_t& end) {
    if (at + 2 >= text.size() || text[at] != ':' || (text[at + 1] != 'b' && text[at + 1] != 'B'))
        return -1;
    std::size_t i = at + 2;
    int number = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0 && number < 100000)
        number = number * 10 + (text[i++] - '0');
    if (i == at + 2 || (i < text.size() && isWordChar(text[i])))
        return -1;
    end = i;
    return number;
}

/// What a list bound as one text holds.
enum class ListKind { ids, texts };

/// When "IN LIST(:bN)" or "IN TEXT LIST(:bN)" starts at `at`, the N with
/// the index past it and what the list holds; otherwise -1.
int listAt(std::string_view text, std::size_t at, std::size_t& end, ListKind& kind) {
    const auto wordAt = [&](std::size_t i, std::string_view word) {
        return text.size() - i >= word.size() &&
               std::equal(word.begin(), word.end(), text.begin() + static_cast<std::ptrdiff_t>(i),
                          [](char a, char b) { return std::toupper(static_cast<unsigned char>(b)) == a; });
    };
    if ((at > 0 && isWordChar(text[at - 1])) || !wordAt(at, "IN"))
        return -1;
    std::size_t i = skipBlanks(text, at + 2);
    if (i == at + 2)
        return -1;
    kind = ListKind::ids;
    if (wordAt(i, "TEXT")) {
        const std::size_t list = skipBlanks(text, i + 4);
        if (list == i + 4)
            return -1;
        kind = ListKind::texts;
        i = list;
    }
    if (!wordAt(i, "LIST"))
        return -1;
    i = skipBlanks(text, i + 4);
    if (i >= text.size() || text[i] != '(')
        return -1;
    std::size_t past = 0;
    const int number = placeholderAt(text, skipBlanks(text, i + 1), past);
    if (number < 0)
        return -1;
    past = skipBlanks(text, past);
    if (past >= text.size() || text[past] != ')')
        return -1;
    end = past + 1;
    return number;
}

void appendPlaceholder(StatementText& out, int number, PlaceholderStyle style) {
    auto found = std::find(out.inputs.begin(), out.inputs.end(), number);
    if (found == out.inputs.end())
        found = out.inputs.insert(out.inputs.end(), number);
    if (style == PlaceholderStyle::named)
        out.text += ":b" + std::to_string(number);
    else
        out.text += "$" + std::to_string(found - out.inputs.begin() + 1);
}

// A list arrives as one text: ids as "3,1,2", which SQLite reads as a
// JSON array and PostgreSQL as an int4 array; texts as a JSON array, which
// each reads with its own JSON functions.  Either backend finds the rows
// through the column's index.
void appendList(StatementText& out, int number, ListKind kind, PlaceholderStyle style) {
    const bool named = style == PlaceholderStyle::named;
    if (kind == ListKind::ids) {
        out.text += named ? "IN(SELECT value FROM json_each('['||" : "=ANY(string_to_array(";
        appendPlaceholder(out, number, style);
        out.text += named ? "||']'))" : ",',')::int4[])";
    } else {
        out.text += named ? "IN(SELECT value FROM json_each(" : "=ANY(ARRAY(SELECT json_array_elements_text(";
        appendPlaceholder(out, number, style);
        out.text += named ? "))" : "::json)))";
    }
}

}  // namespace

StatementText translateStatement(std::string_view embedded, PlaceholderStyle style) {
    StatementText out;
    out.text.reserve(embedded.size());
    std::size_t i = 0;
    ListKind kind = ListKind::ids;
    while (i < embedded.size()) {
        const char c = embedded[i];
        if (c == '\'' || c == '"') {
            const std::size_t end = skipQuoted(embedded, i);
            out.text.append(embedded.substr(i, end - i));
            i = end;
        } else if (const std::size_t past = skipIntoList(embedded, i); past != i) {
            while (!out.text.empty() && std::isspace(static_cast<unsigned char>(out.text.back())) != 0)
                out.text.pop_back();
            out.text += ' ';
            i = skipBlanks(embedded, past);
        } else if (std::size_t end = 0; (c == 'I' || c == 'i') && listAt(embedded, i, end, kind) >= 0) {
            appendList(out, listAt(embedded, i, end, kind), kind, style);
            i = end;
        } else if (std::size_t end = 0; c == ':' && placeholderAt(embedded, i, end) >= 0) {
            appendPlaceholder(out, placeholderAt(embedded, i, end), style);
            i = end;
        } else {
            out.text += c;
            ++i;
        }
    }
    return out;
}

}  // namespace pelo
