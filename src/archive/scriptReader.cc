#include "archive/scriptReader.h"

#include <algorithm>
#include <cctype>

namespace pelo {
namespace {

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string_view trimEnd(std::string_view text) {
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

constexpr std::string_view hereDocumentLine = "$1/bin/isql  $2 >>$3 2>&1 <<!\n";

/// What the shell would run in one line of the here-document, if anything.
std::optional<ScriptFault> hereDocumentLineFault(std::string_view text, int line) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            if (i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '$' || text[i + 1] == '`'))
                ++i;
        } else if (text[i] == '`') {
            return ScriptFault{line, "an unescaped back quote: the shell would run the command it opens"};
        } else if (text[i] == '$' && i + 1 < text.size() && text[i + 1] == '(') {
            return ScriptFault{line, "an unescaped \"$(\": the shell would run the command it opens"};
        }
    }
    return std::nullopt;
}

}  // namespace

ScriptReader::ScriptReader(std::string_view script, Dialect dialect)
    : script_(script), batches_(dialect == Dialect::sybase) {}

std::size_t ScriptReader::pastGoLine() const {
    std::size_t end = script_.find('\n', pos_);
    std::string_view line = script_.substr(pos_, end == std::string_view::npos ? end : end - pos_);
    if (trimEnd(line) != "go")
        return std::string_view::npos;
    return end == std::string_view::npos ? script_.size() : end + 1;
}

bool ScriptReader::next(ScriptStatement& statement) {
    std::size_t start = std::string_view::npos;
    int startLine = 0, quoteLine = 0;
    bool quoted = false;
    while (pos_ < script_.size()) {
        const bool lineStart = pos_ == 0 || script_[pos_ - 1] == '\n';
        if (batches_ && lineStart && !quoted) {
            if (const std::size_t past = pastGoLine(); past != std::string_view::npos) {
                const std::size_t end = pos_;
                pos_ = past;
                line_ += past > 0 && script_[past - 1] == '\n';
                if (start == std::string_view::npos)
                    continue;  // an empty batch
                statement = {trimEnd(script_.substr(start, end - start)), startLine};
                return true;
            }
        }
        const char c = script_[pos_++];
        if (c == '\'') {
            quoted = !quoted;
            // A doubled quote closes and reopens the same literal.
            if (quoted && (pos_ < 2 || script_[pos_ - 2] != '\''))
                quoteLine = line_;
        }
        if (c == ';' && !quoted && !batches_) {
            if (start == std::string_view::npos)
                continue;  // an empty statement
            statement = {trimEnd(script_.substr(start, pos_ - 1 - start)), startLine};
            return true;
        }
        if (start == std::string_view::npos && !isBlank(c)) {
            start = pos_ - 1;
            startLine = line_;
        }
        line_ += c == '\n';
    }
    if (quoted)
        fault_ = ScriptFault{quoteLine, "a quoted literal is never closed"};
    else if (start != std::string_view::npos)
        fault_ = ScriptFault{startLine, std::string("the statement has no closing ") +
                                            (batches_ ? "line \"go\"" : "';'")};
    return false;
}

bool isTransactionControl(std::string_view statement) {
    // Most statements are inserts: the first letter rules them out.
    const auto first = std::find_if_not(statement.begin(), statement.end(), isBlank);
    if (first == statement.end() || (std::tolower(static_cast<unsigned char>(*first)) != 'b' &&
                                     std::tolower(static_cast<unsigned char>(*first)) != 'c'))
        return false;
    std::string words;
    for (char c : statement) {
        if (!isBlank(c))
            words += char(std::tolower(static_cast<unsigned char>(c)));
        else if (!words.empty() && words.back() != ' ')
            words += ' ';
    }
    return words == "commit" || words == "commit work" || words == "commit transaction" ||
           words == "begin transaction";
}

std::optional<ScriptFault> checkInformixScript(std::string_view script) {
    if (script.substr(0, hereDocumentLine.size()) != hereDocumentLine)
        return ScriptFault{1, "not the here-document line \"$1/bin/isql  $2 >>$3 2>&1 <<!\""};
    int line = 2;
    for (std::size_t pos = hereDocumentLine.size(); pos < script.size(); ++line) {
        const std::size_t end = std::min(script.find('\n', pos), script.size());
        const std::string_view text = script.substr(pos, end - pos);
        if (text == "!") {
            if (script.find_first_not_of(" \t\n", end) != std::string_view::npos)
                return ScriptFault{line, "a line \"!\" ends the here-document before the script ends; "
                                         "the shell would run the lines after it"};
            return std::nullopt;
        }
        if (auto fault = hereDocumentLineFault(text, line))
            return fault;
        pos = end + 1;
    }
    return ScriptFault{line, "no line \"!\" ends the here-document"};
}

}  // namespace pelo
