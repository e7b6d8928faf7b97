#include "script.h"

#include <cctype>

namespace pelo::reload {
namespace {

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string_view trimEnd(std::string_view text) {
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace

void scriptError(int line, const std::string& reason) {
    throw ReloadError(std::string(scriptName) + " line " + std::to_string(line) + ": " + reason);
}

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
        scriptError(quoteLine, "a quoted literal is never closed");
    if (start != std::string_view::npos)
        scriptError(startLine, std::string("the statement has no closing ") + (batches_ ? "line \"go\"" : "';'"));
    return false;
}

bool isTransactionControl(std::string_view statement) {
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

}  // namespace pelo::reload
