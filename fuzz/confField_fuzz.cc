// The configurable-field table readers over any table file: the narrow one
// as a single-byte locale runs it, the wide one in UTF-8.  Both keep to the
// table's limits on every input, and give the same table whenever the
// narrow one can read the file as the wide one does: every line at most
// 199 bytes, and every field of a line that is text of the locale cut (if
// longer than configTextMax bytes) where a character starts.
#include <algorithm>
#include <clocale>
#include <string>
#include <string_view>

#include "archive/confField.h"
#include "archive/context.h"
#include "fuzzSupport.h"

using pelo::fuzz::require;

namespace {

constexpr std::size_t narrowLineMax = 199;

struct Setup {
    Setup() {
        std::setlocale(LC_ALL, "C.UTF-8");
        require(MB_CUR_MAX > 1, "C.UTF-8 is a multibyte locale");
        std::filesystem::create_directory(home / "configField");
        narrow = newlocale(LC_ALL_MASK, "C", nullptr);
        require(narrow != nullptr, "the C locale loads");
    }
    pelo::fuzz::ScratchDir home{"confField"};
    locale_t narrow;
};

bool lineReadAlike(std::string_view line) {
    if (line.size() > narrowLineMax)
        return false;
    const auto ends = pelo::fuzz::characterEnds(line);
    if (!ends)
        return true;  // no text: the wide reader splits it as bytes too
    for (std::size_t start = 0; start <= line.size();) {
        const std::size_t bar = std::min(line.find('|', start), line.size());
        if (bar - start > pelo::configTextMax && !std::ranges::binary_search(*ends, start + pelo::configTextMax))
            return false;
        start = bar + 1;
    }
    return true;
}

bool readAlike(std::string_view file) {
    for (std::size_t start = 0; start < file.size();) {
        const std::size_t end = std::min(file.find('\n', start), file.size());
        if (!lineReadAlike(file.substr(start, end - start)))
            return false;
        start = end + 1;
    }
    return true;
}

void requireLimits(const pelo::ConfigTable& table) {
    require(table.count >= 0 && table.count <= pelo::maxConfigFields, "count <= maxConfigFields");
    for (int i = 0; i < table.count; ++i) {
        const pelo::ConfigEntry& e = table.entries[static_cast<std::size_t>(i)];
        for (const std::string* text : {&e.dbName, &e.attrName, &e.label, &e.title, &e.type})
            require(text->size() <= pelo::configTextMax, "each text <= configTextMax bytes");
        require(!e.dbName.empty(), "an entry names its column");
    }
}

bool sameEntry(const pelo::ConfigEntry& a, const pelo::ConfigEntry& b) {
    return a.dbName == b.dbName && a.attrName == b.attrName && a.label == b.label && a.title == b.title &&
           a.type == b.type && a.create == b.create && a.required == b.required;
}

bool sameTable(const pelo::ConfigTable& a, const pelo::ConfigTable& b) {
    if (a.count != b.count || a.requiredMask != b.requiredMask || a.nameList != b.nameList)
        return false;
    for (std::size_t i = 0; i < static_cast<std::size_t>(a.count); ++i)
        if (!sameEntry(a.entries[i], b.entries[i]))
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Setup setup;
    const std::string_view file = pelo::fuzz::text(data, size);
    pelo::fuzz::writeFile(setup.home / "configField/DefectConfigTbl", file);
    pelo::archCtx = {};
    pelo::archCtx.familyHomeDir = setup.home.path().string();
    pelo::defTbl = pelo::featTbl = pelo::fileTbl = pelo::userTbl = {};

    const locale_t wide = uselocale(setup.narrow);
    pelo::readConfigFields(pelo::defTbl, "configField/DefectConfigTbl");
    uselocale(wide);
    pelo::mbReadConfigFields(pelo::featTbl, "configField/DefectConfigTbl");

    requireLimits(pelo::defTbl);
    requireLimits(pelo::featTbl);
    if (readAlike(file))
        require(sameTable(pelo::defTbl, pelo::featTbl), "narrow and wide readers give the same table");
    return 0;
}
