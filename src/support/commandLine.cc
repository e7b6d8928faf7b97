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

CommandLine& CommandLine::arg(std::string_view value) {
    line_ += ' ';
    return quoted(value);
}

CommandLine& CommandLine::quoted(std::string_view value) {
    line_ += shellQuote(value);
    return *this;
}

CommandLine& CommandLine::text(ShellText fixed) {
    line_ += fixed.text();
    return *this;
}

}  // namespace pelo
