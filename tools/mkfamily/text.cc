#include "text.h"

#include <ctime>
#include <vector>

#include "model.h"

namespace pelo::family {
namespace {

const std::vector<std::string> words = {
    "build",  "fails", "when",   "the",     "level",  "map",     "holds",   "a",
    "path",   "with",  "blanks", "restore", "reads",  "remarks", "after",   "commit",
    "server", "drops", "quote's", "\"quoted\"", "semi;colon", "a|b", "pipe|line", "O'Brien",
    "user",   "area",  "track",  "release", "defect", "feature", "sizing",  "verify"};

const std::vector<std::string> firstNames = {"Ann", "Bert", "Carla", "Dirk", "Eva", "Frank",
                                             "Greta", "Hugo", "Ines", "Jan", "Kim", "Lars"};
const std::vector<std::string> lastNames = {"Adams", "O'Neil", "Berg", "Costa", "Dahl",
                                            "Evans", "Fuchs", "Gray", "Holm", "Ito"};

}  // namespace

std::string familyDate(long minutes) {
    std::tm start{};
    start.tm_year = 99;
    start.tm_mon = 8;
    start.tm_mday = 1;
    std::time_t when = timegm(&start) + std::time_t(minutes) * 60;
    std::tm t{};
    gmtime_r(&when, &t);
    char text[40];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", t.tm_year, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

std::string remarkText(Random& random, int length) {
    if (length > 32000)
        length = 32000;
    std::string text;
    while (int(text.size()) < length) {
        const std::string& word = random.pick(words);
        text += word;
        text += random.chance(8) ? "\n" : " ";
    }
    text.resize(std::size_t(length));
    return text;
}

std::string abstractText(Random& random) {
    std::string text = random.pick(words);
    for (int i = random.between(3, 9); i > 0; --i)
        text += " " + random.pick(words);
    return text.substr(0, 128);
}

std::string personName(int n) {
    return firstNames[std::size_t(n) % firstNames.size()] + " " +
           lastNames[std::size_t(n / 3) % lastNames.size()];
}

std::string textContent(int sourceId, int index) {
    // Every file starts from the family's template, as new files there do;
    // the histories are made from one first delta for that reason.
    if (index == 0)
        return "/* New file of the family.  Replace this text. */\n/* version 0 */\nline 0;\n";
    int lines = 8 + sourceId % 11 + index * 2;
    std::string text = "/* source " + std::to_string(sourceId) + " */\n/* version " +
                       std::to_string(index) + " */\n";
    for (int j = 0; j < lines; ++j) {
        // A line keeps the text of the last version that changed it, so
        // consecutive versions differ in about a third of their lines.
        int changedIn = index;
        while (changedIn > 0 && (j + changedIn) % 3 != 0)
            --changedIn;
        text += "line " + std::to_string(j) + " of " + std::to_string(sourceId) + ", set in " +
                std::to_string(changedIn) + ";\n";
    }
    return text;
}

BinaryHistory binaryHistory(int sourceId, int versionCount) {
    Random random(std::uint64_t(sourceId) * 7919u + 17u);
    BinaryHistory history;
    std::string content(std::size_t(random.between(1500, 6000)), '\0');
    for (char& c : content)
        c = char(random.below(256));
    history.contents.push_back(content);
    history.reverse.emplace_back();
    for (int k = 1; k < versionCount; ++k) {
        // Non-overlapping edits of the older version, front to back; the
        // reverse record of each puts the older bytes back.
        const std::string& older = history.contents.back();
        std::string newer;
        std::vector<DiffRecord> records;
        std::size_t at = 0;
        for (int e = random.between(1, 4); e > 0 && at + 64 < older.size(); --e) {
            std::size_t offset = at + std::size_t(random.below(int(older.size() - at) / 2));
            std::size_t oldLength = std::size_t(random.below(3) == 0 ? 0 : random.between(1, 40));
            oldLength = std::min(oldLength, older.size() - offset);
            std::size_t newLength = (oldLength == 0 || random.chance(70)) ? std::size_t(random.between(1, 50)) : 0;
            newer.append(older, at, offset - at);
            for (std::size_t i = 0; i < newLength; ++i)
                newer += char(random.below(256));
            DiffRecord record;
            record.offset = std::int32_t(offset);
            record.kind = oldLength == 0 ? diffSkip : newLength == 0 ? diffInsert : diffReplace;
            record.length = std::int32_t(oldLength == 0 ? newLength : oldLength);
            record.skip = std::int32_t(record.kind == diffReplace ? newLength : 0);
            if (record.kind != diffSkip)
                record.data = older.substr(offset, oldLength);
            records.push_back(record);
            at = offset + oldLength;
        }
        newer.append(older, at, std::string::npos);
        history.contents.push_back(newer);
        history.reverse.push_back(records);
    }
    return history;
}

}  // namespace pelo::family
