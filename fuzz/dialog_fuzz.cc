// The archive dialog over any answers on standard input, then the question
// after cpio over what is left of them, asked again while it says 2.
//
// The dialog answers 0 or 1, the question 0, 1 or 2, and neither writes a
// file.  After 0 the run settings hold names within their limits: releases
// (at least one) and a level of at most 15 characters, in an archive run a
// destination, a file system or working directory of at most 195 characters
// with no ".", "~" or "$", a device of at most 15; a check-only run has no
// destination.
//
// A typed name that is no text of the locale ends the process by design
// (convertMBStoWCS logs 1150 and exits 1); the process cannot survive that,
// so answers that are not text of the locale are passed over, on the
// release line too, where getwchar would pass the bytes on instead.  A
// blank is one byte in UTF-8 and never inside a character, so these are
// the answers with such a token.
//
// The target works in its scratch directory, which holds "arch", an empty
// directory a file-system archive can name, and the family home "home".
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "archive/context.h"
#include "archive/getArchOpts.h"
#include "fuzzSupport.h"

using pelo::fuzz::require;

namespace {

struct Setup {
    Setup() {
        std::setlocale(LC_ALL, "C.UTF-8");
        require(std::freopen("/dev/null", "w", stdout) != nullptr, "standard output goes to /dev/null");
        std::filesystem::create_directory(dir / "home");
        std::filesystem::create_directory(dir / "arch");
        require(chdir(dir.path().c_str()) == 0, "the scratch directory is the working directory");
    }
    pelo::fuzz::ScratchDir dir{"dialog"};
};

// The characters of the text, or npos when a byte sequence in it is no
// character.
std::size_t characters(std::string_view text) {
    const auto ends = pelo::fuzz::characterEnds(text);
    return ends ? ends->size() : std::string_view::npos;
}

void requireDirName(const std::string& name) {
    require(characters(name) <= std::size_t(pelo::maxDirNameLen), "a directory name has at most 195 characters");
    require(name.find_first_of(".~$") == std::string::npos, "a directory name holds no '.', '~' or '$'");
}

void requireSettings() {
    const pelo::ArchiveContext& c = pelo::archCtx;
    require(c.relNameList.listSize() > 0, "a run names at least one release");
    for (const std::string& release : c.relNameList)
        require(characters(release) <= std::size_t(pelo::maxReleaseNameLen), "a release name has at most 15 characters");
    require(characters(c.levelName) <= std::size_t(pelo::maxLevelNameLen), "a level name has at most 15 characters");
    if (c.mode == pelo::RunMode::checkOnly) {
        require(c.fileSystemName.empty() && c.deviceName.empty(), "a check-only run has no destination");
        return;
    }
    require(c.fileSystemName.empty() != c.deviceName.empty(), "an archive run has one destination");
    if (!c.fileSystemName.empty())
        requireDirName(c.fileSystemName);
    if (!c.deviceName.empty())
        require(characters(c.deviceName) <= std::size_t(pelo::maxDeviceNameLen), "a device name has at most 15 characters");
    if (!c.deviceName.empty() && !c.workDirIsFamilyHome)
        requireDirName(c.workDirName);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Setup setup;
    const std::string_view answers = pelo::fuzz::text(data, size);
    if (characters(answers) == std::string_view::npos)
        return -1;
    pelo::fuzz::writeFile(setup.dir / "answers", answers);
    require(std::freopen((setup.dir / "answers").c_str(), "r", stdin) != nullptr, "the answers are standard input");
    pelo::archCtx = {};
    pelo::archCtx.familyHomeDir = (setup.dir / "home").string();
    pelo::archCtx.vctype = "pvcs";  // the PVCS family has the most work files

    const int result = pelo::getArchiveOptionAndParms();
    require(result == 0 || result == 1, "the dialog answers 0 or 1");
    if (result == 0) {
        requireSettings();
        int question = 2;
        while (question == 2) {
            question = pelo::getUserInput();
            require(question >= 0 && question <= 2, "the question answers 0, 1 or 2");
        }
    }
    require(pelo::fuzz::entries(setup.dir / "home").empty() && pelo::fuzz::entries(setup.dir / "arch").empty(),
            "the dialog writes no file");
    return 0;
}
