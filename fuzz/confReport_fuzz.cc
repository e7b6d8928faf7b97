// readConfigReport over any report-format file.  The first input byte
// chooses where the rest goes: into one object's format file (0 to 3, by
// the byte modulo 5) or into all four (4).  Whatever the files hold, each
// report text keeps to its length, a column list starts with "id," and is
// one line, the reports are filled in order, and an object without a file
// keeps its built-in texts.
#include <array>
#include <string>
#include <string_view>

#include "archive/confField.h"
#include "archive/context.h"
#include "fuzzSupport.h"

using pelo::fuzz::require;

namespace {

constexpr std::size_t reportTextMax = 4095;

constexpr std::array<pelo::ConfigObject, 4> objects = {pelo::ConfigObject::defect, pelo::ConfigObject::feature,
                                                       pelo::ConfigObject::file, pelo::ConfigObject::user};
constexpr std::array<const char*, 4> formatFiles = {"configField/DefectConfigFormat", "configField/FeatureConfigFormat",
                                                    "configField/FileConfigFormat", "configField/UserConfigFormat"};

pelo::fuzz::ScratchDir& home() {
    static pelo::fuzz::ScratchDir dir("confReport");
    return dir;
}

void requireText(const std::optional<std::string>& text) {
    require(!text || text->size() <= reportTextMax, "a report text keeps to 4095 bytes");
}

void requireColumns(const std::optional<std::string>& columns) {
    requireText(columns);
    require(!columns || (columns->starts_with("id,") && columns->find('\n') == std::string::npos),
            "a column list is \"id,\" and one line");
}

bool given(const pelo::DisplayReport& report) { return report.format || report.columns; }

void requireReports(const pelo::DisplayReports& r, bool fromFile) {
    for (const pelo::DisplayReport* report : {&r.main, &r.second, &r.third})
        requireText(report->format);
    requireColumns(r.main.columns);
    requireColumns(r.second.columns);
    require(!r.third.columns, "the third report has no column list");
    require(bool(r.main.format) == bool(r.main.columns) && bool(r.second.format) == bool(r.second.columns),
            "a report gets its format and columns together");
    require((!given(r.second) || given(r.main)) && (!given(r.third) || given(r.second)),
            "reports are filled in order");
    require(fromFile || (!given(r.main) && !given(r.second) && !given(r.third)),
            "no file, built-in texts");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const pelo::fuzz::ScratchDir& dir = home();
    std::filesystem::create_directories(dir / "configField");
    const std::size_t target = data[0] % 5;
    const std::string_view text = pelo::fuzz::text(data + 1, size - 1);
    for (std::size_t i = 0; i < formatFiles.size(); ++i) {
        if (target == i || target == 4)
            pelo::fuzz::writeFile(dir / formatFiles[i], text);
        else
            std::filesystem::remove(dir / formatFiles[i]);
    }
    pelo::archCtx = {};
    pelo::archCtx.familyHomeDir = dir.path().string();
    pelo::defTbl = pelo::featTbl = pelo::fileTbl = pelo::userTbl = {};

    pelo::readConfigReport();
    for (std::size_t i = 0; i < objects.size(); ++i) {
        requireReports(pelo::displayReports(objects[i]), target == i || target == 4);
        require(pelo::reportColumnList(objects[i]).starts_with("id,"), "the report's select list starts with id");
    }
    return 0;
}
