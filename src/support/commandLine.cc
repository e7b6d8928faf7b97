#include "support/commandLine.h"

namespace pelo {

std::string shellQuote(std::string_view value) {
    std::string quoted;
    quoted.reserve(value.size() + 2);
    quoted += '\'';
    for (char c : value) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

std::string& CommandLine::word() {
    if (!wordOpen_)
        words_.emplace_back();
    wordOpen_ = true;
    return words_.back();
}

CommandLine& CommandLine::arg(std::string_view value) {
    line_ += ' ';
    wordOpen_ = false;
    return quoted(value);
}

CommandLine& CommandLine::quoted(std::string_view value) {
    line_ += shellQuote(value);
    word().append(value);
    return *this;
}

CommandLine& CommandLine::text(ShellText fixed) {
    const std::string_view text = fixed.text();
    line_ += text;
    constexpr std::string_view wordCharacters =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_./:,+%@-";
    for (char c : text) {
        if (c == ' ')
            wordOpen_ = false;
        else if (wordCharacters.find(c) == std::string_view::npos)
            plain_ = false;
        else
            word() += c;
    }
    return *this;
}

}  // namespace pelo
