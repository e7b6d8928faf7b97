// The wide-character reader of the configurable-field tables.  In some
// multibyte encodings the second byte of a character can be the byte of
// '|', so a multibyte line is split on whole characters, never on bytes.
#include <algorithm>
#include <climits>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/confField.h"
#include "archive/confFieldLines.h"

namespace pelo {

namespace {

/// Multibyte lines are read up to this many bytes.
constexpr std::size_t wideLineMax = 599;

/// The line cut to at most `limit` bytes between two characters, and its
/// wide characters; nothing when a byte sequence in it is no character.
std::optional<std::wstring> wideLine(std::string_view line, std::size_t limit) {
    std::wstring wide;
    std::mbstate_t state{};
    for (std::size_t at = 0; at < line.size();) {
        wchar_t c = 0;
        const std::size_t length = std::mbrtowc(&c, line.data() + at, line.size() - at, &state);
        if (length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2))
            return std::nullopt;
        const std::size_t bytes = length == 0 ? 1 : length;
        if (at + bytes > limit)
            break;
        wide += c;
        at += bytes;
    }
    return wide;
}

/// The field as multibyte text, cut after the last whole character that
/// fits configTextMax bytes.
std::string narrowField(std::wstring_view field) {
    std::string text;
    std::mbstate_t state{};
    for (wchar_t c : field) {
        char bytes[MB_LEN_MAX];
        const std::size_t length = std::wcrtomb(bytes, c, &state);
        if (length == static_cast<std::size_t>(-1) || text.size() + length > configTextMax)
            break;
        text.append(bytes, length);
    }
    return text;
}

std::vector<std::string> splitWide(std::string_view line) {
    const std::optional<std::wstring> wide = wideLine(line, wideLineMax);
    // Bytes that are no text of the locale can only be split as bytes, as
    // the narrow reader splits them, rather than end the run over a line.
    if (!wide)
        return confFieldDetail::splitBytes(line.substr(0, wideLineMax));
    std::vector<std::string> fields;
    const std::wstring_view text = *wide;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t bar = std::min(text.find(L'|', start), text.size());
        fields.push_back(narrowField(text.substr(start, bar - start)));
        start = bar + 1;
    }
    return fields;
}

}  // namespace

void mbReadConfigFields(ConfigTable& table, const char* relativePath) {
    confFieldDetail::readTableFile(table, relativePath, splitWide);
}

}  // namespace pelo
