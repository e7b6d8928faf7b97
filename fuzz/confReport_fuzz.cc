// readConfigReport over any report-format file.  The first input byte
// chooses where the rest goes: into one object's format file (0 to 3, by
// the byte modulo 5) or into all four (4).  Whatever the files hold, each
// report text keeps to its length, a column list starts with "id," and is
// one line, and an object without a file keeps its built-in texts.
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

void requireReports(const pelo::DisplayReports& r, bool fromFile) {
    for (const pelo::DisplayReport* report : {&r.main, &r.second, &r.third}) {
        require(fromFile || (!report->format && !report->columns), "no file, built-in texts");
        require(!report->format || report->format->size() <= reportTextMax, "a report text keeps to 4095 bytes");
        const std::optional<std::string>& columns = report->columns;
        require(!columns || columns->size() <= reportTextMax, "a column list keeps to 4095 bytes");
        require(!columns || (columns->starts_with("id,") && columns->find('\n') == std::string::npos),
                "a column list is \"id,\" and one line");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    static const pelo::fuzz::ScratchDir dir("confReport");
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
    for (std::size_t i = 0; i < objects.size(); ++i)
        requireReports(pelo::displayReports(objects[i]), target == i || target == 4);
    return 0;
}
