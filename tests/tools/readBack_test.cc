// An archive changed between its writing and the read-back before removal
// (by a library preloaded into the run, which does it when the run forces
// the archive onto its medium) is refused before anything is removed: the
// file is named, the family is left as it was and the archive is kept.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "archive/builtFamily.h"
#include "support/commandLine.h"
#include "tools/removedObjects.h"
#include "tools/shortDevice.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using namespace pelo::testing;

struct TamperCase {
    const char* name;
    const char* action;  ///< what the preloaded library does
    const char* below;   ///< the file, or the directory whose first file, it changes; none: the device
    const char* message; ///< the message that names it
};

void PrintTo(const TamperCase& c, std::ostream* out) { *out << c.name; }

const TamperCase tamperCases[] = {
    {"HistoryChanged", "change", "vc", "0012-015 The file "},
    {"MapDeleted", "delete", "maps", "0012-014 The file "},
    // The medium of a device archive: one byte in its middle, which falls
    // in a file's data, changed after cpio wrote it and the user continued.
    {"MediumChanged", "change", nullptr, "0012-015 The file "},
};

class TamperTest : public ::testing::TestWithParam<TamperCase> {};

TEST_P(TamperTest, RefusedBeforeRemovalWithTheFamilyAsItWasAndTheArchiveKept) {
    const TamperCase& c = GetParam();
    const std::string root = scratchDir() + "/tamper-" + c.name;
    const BuiltFamily family = buildFamily(root + "/family", "--size=tiny --db=oracle");
    const std::string arch = root + "/arch", report = root + "/tampered";
    fs::create_directories(arch);
    const std::string database = readText(family.env.at("PELO_DB"));
    const auto home = readFiles(family.home);

    const ShortDevice device;
    const std::string target = c.below != nullptr ? arch + "/" + c.below : device.path();
    // A release archive of rel1 with removal, into the directory or onto the device.
    const std::string answers =
        "2\n2\nrel1\n2\n2\n" + (c.below != nullptr ? "1\n" + arch + "\n" : "2\n" + device.path() + "\n1\n1\n");
    const std::string output = runArchive(family, answers,
                                          {{"LD_PRELOAD", std::string("libnss_wrapper.so ") + TAMPER_LIBRARY},
                                           {"PELO_TAMPER_ACTION", c.action},
                                           {"PELO_TAMPER_FILE", target},
                                           {"PELO_TAMPER_REPORT", report}});
    const std::string tampered = readText(report);
    ASSERT_TRUE(tampered.starts_with(target)) << "nothing was tampered with\n" << output;

    EXPECT_TRUE(output.ends_with("status=1\n")) << output;
    EXPECT_NE(output.find(c.below != nullptr ? c.message + tampered + " of the archive\n" : c.message),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("0012-016 The peloarchive program cannot continue.  The archive in\n         " +
                          (c.below != nullptr ? arch : device.path()) + " does not read back as it was written."),
              std::string::npos)
        << output;
    EXPECT_EQ(output.find("Removing the archived objects."), std::string::npos) << output;
    EXPECT_EQ(output.find("0012-001"), std::string::npos) << "nothing was removed, so nothing needs the archive\n"
                                                          << output;
    EXPECT_TRUE(readText(family.env.at("PELO_DB")) == database) << "the database changed";
    EXPECT_TRUE(readFiles(family.home) == home) << "the family home changed";
    if (c.below != nullptr) {
        EXPECT_TRUE(fs::exists(arch + "/PELOarchive.manifest") && fs::exists(arch + "/vc")) << "the archive was not kept";
    } else {
        EXPECT_FALSE(fs::is_empty(device.path()));
        for (const auto& entry : fs::directory_iterator(family.home))
            EXPECT_FALSE(entry.path().filename().string().starts_with("PELOarchive.")) << entry.path() << " was left";
    }
}

INSTANTIATE_TEST_SUITE_P(Archive, TamperTest, ::testing::ValuesIn(tamperCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelo
