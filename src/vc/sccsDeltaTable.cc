#include "vc/sccsDeltaTable.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace pelo {

namespace {

/// The header's lines one at a time, each without its new-line.  A last
/// line with no new-line is never one of the header's: the header's own
/// last line, ^AT, ends with one.
class Lines {
public:
    explicit Lines(std::string_view text) : rest_(text) {}

    std::optional<std::string_view> next() {
        const std::optional<std::string_view> line = peek();
        if (line)
            rest_.remove_prefix(line->size() + 1);
        return line;
    }
    std::optional<std::string_view> peek() const {
        const std::size_t end = rest_.find('\n');
        if (end == std::string_view::npos)
            return std::nullopt;
        return rest_.substr(0, end);
    }
    std::string_view rest() const { return rest_; }

private:
    std::string_view rest_;
};

/// One line taken apart field by field from its start; each step takes
/// what it reads only when it reads it whole.
class Fields {
public:
    explicit Fields(std::string_view line) : rest_(line) {}

    bool literal(std::string_view text) {
        if (!rest_.starts_with(text))
            return false;
        rest_.remove_prefix(text.size());
        return true;
    }
    /// Exactly width digits.
    std::optional<unsigned> fixed(std::size_t width) {
        unsigned value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            if (i >= rest_.size() || rest_[i] < '0' || rest_[i] > '9')
                return std::nullopt;
            value = value * 10 + unsigned(rest_[i] - '0');
        }
        rest_.remove_prefix(width);
        return value;
    }
    /// A number as the tools write one: no leading zero but in 0 itself,
    /// and at most max (at most 65535, the widest the tools read).
    std::optional<unsigned> number(unsigned max) {
        std::size_t digits = 0;
        while (digits < rest_.size() && digits < 6 && rest_[digits] >= '0' && rest_[digits] <= '9')
            ++digits;
        if (digits == 0 || (digits > 1 && rest_[0] == '0'))
            return std::nullopt;
        const std::optional<unsigned> value = fixed(digits);
        return *value <= max ? value : std::nullopt;
    }
    /// Everything up to the next blank, which is left.
    std::string_view word() {
        const std::string_view word = rest_.substr(0, rest_.find(' '));
        rest_.remove_prefix(word.size());
        return word;
    }
    bool atEnd() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

struct Delta {
    std::string sid;
    bool removed = false;
};

/// "^Ah" and the checksum as admin and delta write it, in five digits.
std::optional<unsigned> checksumLine(std::string_view line) {
    Fields fields(line);
    if (!fields.literal("\001h"))
        return std::nullopt;
    const std::optional<unsigned> sum = fields.fixed(5);
    return sum && fields.atEnd() ? sum : std::nullopt;
}

/// The sum of the bytes the way the tools add them, each as a plain char
/// (signed on most machines, so that bytes from 128 up count negative),
/// modulo 65536.
unsigned checksum(std::string_view bytes) {
    unsigned sum = 0;
    for (const char byte : bytes)
        sum += static_cast<unsigned>(static_cast<int>(byte));
    return sum & 0xffffu;
}

/// "^As" and the inserted, deleted and unchanged line counts, five digits each.
bool statisticsLine(std::string_view line) {
    Fields fields(line);
    return fields.literal("\001s ") && fields.fixed(5) && fields.literal("/") && fields.fixed(5) &&
           fields.literal("/") && fields.fixed(5) && fields.atEnd();
}

/// Two numbers (release, level) or four (and branch, sequence), each from
/// 1 to 9999; the text read is the SID just as prs prints it.
bool readSid(Fields& fields, std::string& sid) {
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && !fields.literal("."))
            return part == 2;
        const std::optional<unsigned> number = fields.number(9999);
        if (!number || *number == 0)
            return false;
        sid += (part > 0 ? "." : "") + std::to_string(*number);
    }
    return true;
}

/// "YY/MM/DD HH:MM:SS", a real date and time.  Two-digit years stand for
/// 1969 to 2068, where every fourth year, 2000 too, is a leap year.
bool readStamp(Fields& fields) {
    static constexpr std::array<const char*, 6> separators{"", "/", "/", " ", ":", ":"};
    static constexpr std::array<unsigned, 12> monthDays{31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    std::array<unsigned, 6> stamp{};
    for (std::size_t i = 0; i < stamp.size(); ++i) {
        const std::optional<unsigned> twoDigits = fields.literal(separators[i]) ? fields.fixed(2) : std::nullopt;
        if (!twoDigits)
            return false;
        stamp[i] = *twoDigits;
    }
    const auto [year, month, day, hour, minute, second] = stamp;
    if (month < 1 || month > 12 || day < 1 || day > monthDays[month - 1])
        return false;
    if (month == 2 && day == 29 && year % 4 != 0)
        return false;
    return hour < 24 && minute < 60 && second < 60;
}

/// A login as delta records it: one word of visible characters.
bool loginWord(std::string_view word) {
    if (word.empty())
        return false;
    for (const char c : word)
        if (const auto byte = static_cast<unsigned char>(c); byte <= ' ' || byte == 0x7f)
            return false;
    return true;
}

/// "^Ad TYPE SID YY/MM/DD HH:MM:SS LOGIN SEQ PRED" with TYPE "D", or "R"
/// for a delta that rmdel removed.
std::optional<Delta> deltaLine(std::string_view line) {
    Fields fields(line);
    Delta delta;
    if (!fields.literal("\001d "))
        return std::nullopt;
    delta.removed = fields.literal("R");
    if (!delta.removed && !fields.literal("D"))
        return std::nullopt;
    if (!fields.literal(" ") || !readSid(fields, delta.sid) || !fields.literal(" ") || !readStamp(fields) ||
        !fields.literal(" ") || !loginWord(fields.word()) || !fields.literal(" "))
        return std::nullopt;
    const std::optional<unsigned> sequence = fields.number(65535);
    if (!sequence || *sequence == 0 || !fields.literal(" ") || !fields.number(65535) || !fields.atEnd())
        return std::nullopt;
    return delta;
}

/// The MR lines, then the comment lines, then the ^Ae that ends the entry.
bool readCommentary(Lines& lines) {
    std::optional<std::string_view> line = lines.next();
    while (line && line->starts_with("\001m "))
        line = lines.next();
    while (line && (*line == "\001c" || line->starts_with("\001c ")))
        line = lines.next();
    return line == "\001e";
}

/// One entry of the delta table, from its ^As line to its ^Ae.
std::optional<Delta> readDelta(Lines& lines) {
    const std::optional<std::string_view> statistics = lines.next();
    if (!statistics || !statisticsLine(*statistics))
        return std::nullopt;
    const std::optional<std::string_view> line = lines.next();
    std::optional<Delta> delta = line ? deltaLine(*line) : std::nullopt;
    return delta && readCommentary(lines) ? delta : std::nullopt;
}

/// The flags as admin writes the ones read here: the branch, joint-edit
/// and null-delta switches, the encoding, and four free texts (module,
/// user flag, type, MR validation program).
bool knownFlag(std::string_view line) {
    for (const char* plain : {"\001f b", "\001f j", "\001f n", "\001f e 0", "\001f e 1"})
        if (line == plain)
            return true;
    for (const char* valued : {"\001f m ", "\001f q ", "\001f t ", "\001f v "})
        if (line.starts_with(valued) && line.size() > std::string_view(valued).size())
            return true;
    return false;
}

bool textLine(std::string_view line) { return !line.starts_with('\001'); }

/// What follows the delta table up to the end of the header: the users
/// (one name a line), ^AU, the flags, and the description between ^At and ^AT.
bool readHeaderRest(Lines& lines) {
    std::optional<std::string_view> line = lines.next();
    if (line != "\001u")
        return false;
    for (line = lines.next(); line && !line->empty() && textLine(*line);)
        line = lines.next();
    if (line != "\001U")
        return false;
    for (line = lines.next(); line && knownFlag(*line);)
        line = lines.next();
    if (line != "\001t")
        return false;
    for (line = lines.next(); line && textLine(*line);)
        line = lines.next();
    return line == "\001T";
}

}  // namespace

std::optional<std::vector<std::string>> sccsDeltaSids(std::string_view history) {
    Lines lines(history);
    const std::optional<std::string_view> first = lines.next();
    const std::optional<unsigned> recorded = first ? checksumLine(*first) : std::nullopt;
    if (!recorded)
        return std::nullopt;
    const std::string_view summed = lines.rest();
    std::vector<std::string> sids;
    while (lines.peek() != "\001u") {
        std::optional<Delta> delta = readDelta(lines);
        if (!delta)
            return std::nullopt;
        if (!delta->removed)
            sids.push_back(std::move(delta->sid));
    }
    if (!readHeaderRest(lines) || checksum(summed) != *recorded)
        return std::nullopt;
    return sids;
}

std::optional<std::vector<std::string>> sccsDeltaSidsOfFile(const std::string& path) {
    // A directory opens as a stream too, with a size that is no size.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return std::nullopt;
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = file ? std::streamoff(file.tellg()) : -1;
    if (size < 0)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!file.seekg(0) || !file.read(bytes.data(), size))
        return std::nullopt;
    return sccsDeltaSids(bytes);
}

}  // namespace pelo
