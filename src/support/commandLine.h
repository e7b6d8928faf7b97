// Command lines for the shell, built so that no value can change what the
// shell runs.  Every command the utility runs comes from a CommandLine:
// values (paths, names, passwords, revisions) go in through arg or quoted
// and always come out as one shell-quoted word; the only text that reaches
// the shell unquoted is ShellText, which can be made from a compile-time
// constant alone, so a glob, a redirection, an operator or the program's
// own fixed words are in the source for anyone to read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelo {

/// The value as one shell word: wrapped in single quotes, each embedded
/// quote written as '\''.  Empty text gives ''.
std::string shellQuote(std::string_view value);

/// Text that goes to the shell as it stands.  Its constructor runs at
/// compile time only, so nothing read at run time can become ShellText.
class ShellText {
public:
    consteval ShellText(const char* text) : text_(text) {}  // NOLINT: implicit on purpose
    const char* text() const { return text_; }

private:
    const char* text_;
};

/// One command line, appended to piece by piece; pieces are never
/// separated by anything but what the caller asks for, so the exact blanks
/// of a designed command line are kept.
///
///   CommandLine("rm -fr").arg(dir).text("/*.ld")  ->  rm -fr '/a b'/*.ld
class CommandLine {
public:
    CommandLine() = default;
    /// Starts with fixed text, usually the program and its fixed options.
    explicit CommandLine(ShellText start) { text(start); }

    /// A blank, then the value as one quoted word.
    CommandLine& arg(std::string_view value);

    /// The value as a quoted word glued to what comes before it, as in
    /// -r'1.3' or '/home/fam''/vc/s.x': the shell joins them into one word.
    CommandLine& quoted(std::string_view value);

    /// Fixed text exactly as given: blanks, options, globs, redirections,
    /// pipes and the shell's operators.
    CommandLine& text(ShellText fixed);

    /// The line for the runner.
    const std::string& str() const { return line_; }
    const char* c_str() const { return line_.c_str(); }

    /// The line's words when it is nothing but words a shell would pass on
    /// as they stand (no operator, redirection, glob or quote in its fixed
    /// text): the runner can then start the program without a shell.
    /// Null otherwise.
    const std::vector<std::string>* plainWords() const { return plain_ && !words_.empty() ? &words_ : nullptr; }

private:
    /// The word being built takes more text.
    std::string& word();

    std::string line_;
    std::vector<std::string> words_;
    bool wordOpen_ = false;
    bool plain_ = true;
};

}  // namespace pelo
