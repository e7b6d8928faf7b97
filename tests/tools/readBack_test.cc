// The archive proves what it holds.  A file-system archive's manifest
// passes sha256sum -c, gives each file's size and, for each trimmed
// history, exactly the deltas the copy keeps.  An archive changed between
// its writing and the read-back before removal (by a library preloaded into
// the run, which does it when the run forces the archive onto its medium)
// is refused before anything is removed: the file is named, the family is
// left as it was and the archive is kept.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/builtFamily.h"
#include "support/commandLine.h"
#include "tools/removedObjects.h"
#include "tools/shortDevice.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using namespace pelo::testing;

/// A release archive of rel1, with removal, into dir.
std::string releaseArchiveWithRemoval(const std::string& dir) { return "2\n2\nrel1\n2\n2\n1\n" + dir + "\n"; }

/// Every regular file below dir by its relative path.
std::set<std::string> regularFiles(const std::string& dir) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file())
            files.insert(fs::relative(entry.path(), dir).string());
    return files;
}

/// The manifest's lines by kind: the files its sha256sum lines name, the
/// sizes of its size lines, the deltas of its keeps lines.
struct Manifest {
    std::set<std::string> checked;
    std::map<std::string, std::uintmax_t> sizes;
    std::map<std::string, Texts> keeps;
};

Manifest readManifest(const std::string& path) {
    Manifest manifest;
    std::istringstream lines(readText(path));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string first, kind, name;
        words >> first;
        if (first != "#") {
            manifest.checked.insert(line.substr(66));  // 64 hex digits and two blanks
            EXPECT_EQ(line.find("  "), 64u) << line;
        } else if (words >> kind; kind == "size") {
            std::uintmax_t size = 0;
            words >> size;
            manifest.sizes[line.substr(line.find(' ', 7) + 1)] = size;
        } else if (kind == "keeps") {
            words >> name;
            Texts& sids = manifest.keeps[name];
            for (std::string sid; words >> sid;)
                sids.push_back(sid);
        }
    }
    return manifest;
}

struct ManifestCase {
    const char* name;
    const char* vc;
};

void PrintTo(const ManifestCase& c, std::ostream* out) { *out << c.name; }

const ManifestCase manifestCases[] = {{"Sccs", "sccs"}, {"Pvcs", "pvcs"}};

class ManifestTest : public ::testing::TestWithParam<ManifestCase> {};

TEST_P(ManifestTest, NamesEveryFileItsSizeAndTheDeltasEachTrimmedHistoryKeeps) {
    const std::string root = scratchDir() + "/manifest-" + GetParam().name;
    const BuiltFamily family = buildFamily(root + "/family", std::string("--size=demo --db=informix --vc=") + GetParam().vc);
    const std::string arch = root + "/arch";
    fs::create_directories(arch);
    const std::string output = runArchive(family, releaseArchiveWithRemoval(arch));
    ASSERT_TRUE(output.ends_with("status=0\n")) << output;

    const std::string check = capture("cd " + shellQuote(arch) + " && sha256sum --strict -c PELOarchive.manifest 2>&1; echo status=$?");
    EXPECT_TRUE(check.ends_with("status=0\n")) << check;
    const Manifest manifest = readManifest(arch + "/PELOarchive.manifest");
    std::set<std::string> expected = regularFiles(arch);
    expected.erase("PELOarchive.manifest");
    expected.erase("PELOarchive.info");
    EXPECT_EQ(manifest.checked, expected);
    EXPECT_EQ(std::count(check.begin(), check.end(), '\n'), std::ptrdiff_t(expected.size()) + 1) << check;
    for (const std::string& file : expected) {
        EXPECT_EQ(manifest.sizes.count(file), 1u) << file;
        EXPECT_EQ(manifest.sizes.at(file), fs::file_size(arch + "/" + file)) << file;
    }

    // Each trimmed history keeps what its tool lists of the copy.
    const Histories copies = readHistories(arch, family.env.at("PELO_VCBIN"), GetParam().vc == std::string("pvcs"));
    ASSERT_FALSE(manifest.keeps.empty());
    for (const auto& [history, sids] : manifest.keeps) {
        std::string place = history.substr(3);  // less "vc/"
        if (place.ends_with("/s.binary"))
            place.resize(place.size() - 9);
        ASSERT_TRUE(copies.contains(place)) << history;
        EXPECT_EQ(sids, copies.at(place)) << history;
    }
}

INSTANTIATE_TEST_SUITE_P(Archive, ManifestTest, ::testing::ValuesIn(manifestCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------

struct TamperCase {
    const char* name;
    const char* action;  ///< what the preloaded library does
    const char* below;   ///< the file, or the directory whose first file, it changes; none: the device
    const char* message; ///< the message that names it
};

void PrintTo(const TamperCase& c, std::ostream* out) { *out << c.name; }

const TamperCase tamperCases[] = {
    {"HistoryChanged", "change", "vc", "0012-015 The file "},
    {"ScriptTruncated", "truncate", "PELOarchive.dbData", "0012-015 The file "},
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
    const std::string answers = c.below != nullptr ? releaseArchiveWithRemoval(arch)
                                                   : "2\n2\nrel1\n2\n2\n2\n" + device.path() + "\n1\n1\n";
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
