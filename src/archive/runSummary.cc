#include "archive/runSummary.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <nlohmann/json.hpp>
#include <vector>

#include "archive/archCreateFiles.h"
#include "archive/context.h"
#include "archive/peloarchive.h"
#include "archive/phases.h"
#include "support/msg.h"

namespace pelo {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::array<const char*, 17> phaseNames = {
    "dialog", "semaphore", "environment", "connect", "prerequisites", "workFiles", "populate", "exportNotesVersions",
    "levelMaps", "configFiles", "histories", "storage", "cpio", "sync", "readBack", "removal", "end"};

struct PhaseTime {
    RunPhase phase;
    double seconds = 0;
    std::int64_t storeAdded = 0;  // what the phase added to the estimate
};

struct SummaryState {
    std::optional<std::string> path;
    bool force = false;
    std::vector<PhaseTime> phases;
    Clock::time_point phaseStart;
    std::int64_t storeAtStart = 0;
    ExitStatus failure = ExitStatus::failed;
    std::optional<ArchiveBytes> measured;
    std::optional<std::vector<std::string>> releases;  // as the dialog left them
    double rowCopySeconds = 0;
};

SummaryState& state() {
    static SummaryState s;
    return s;
}

void endPhase() {
    SummaryState& s = state();
    if (s.phases.empty())
        return;
    PhaseTime& current = s.phases.back();
    current.seconds = std::chrono::duration<double>(Clock::now() - s.phaseStart).count();
    current.storeAdded = archCtx.fileSystemStore - s.storeAtStart;
}

std::int64_t regularFileSize(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) ? status.st_size : 0;
}

void addFile(ArchiveBytes& bytes, const std::string& relative, const std::string& path) {
    if (std::int64_t ArchiveBytes::*kind = byteKind(relative))
        bytes.*kind += regularFileSize(path);
}

ArchiveBytes measureDirectory(const fs::path& root) {
    ArchiveBytes bytes;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file(error) && !it->is_symlink(error))
            addFile(bytes, it->path().lexically_relative(root).string(), it->path().string());
    return bytes;
}

// The cpio list names the family's files relative to the family home and
// the work files by their paths.
ArchiveBytes measureCpioList() {
    ArchiveBytes bytes;
    std::ifstream list(archCtx.cpioFileList.path());
    for (std::string name; std::getline(list, name);) {
        const std::string path = name.starts_with("/") ? name : archCtx.familyHomeDir + "/" + name;
        const std::string relative = name.starts_with("./") ? name.substr(2) : fs::path(name).filename().string();
        addFile(bytes, relative, path);
    }
    return bytes;
}

// The estimate's shares, from what each phase added to it.
ArchiveBytes estimatedBytes() {
    ArchiveBytes bytes;
    for (const PhaseTime& p : state().phases) {
        switch (p.phase) {
        case RunPhase::levelMaps: bytes.maps += p.storeAdded; break;
        case RunPhase::configFiles: bytes.configFiles += p.storeAdded; break;
        case RunPhase::histories: bytes.histories += p.storeAdded; break;
        case RunPhase::storage:
            bytes.exports += notesVersionsShare();
            bytes.script += p.storeAdded - notesVersionsShare();
            break;
        default: break;
        }
    }
    return bytes;
}

nlohmann::json optionalText(const std::string& text) { return text.empty() ? nlohmann::json() : nlohmann::json(text); }

nlohmann::json choices() {
    const ArchiveContext& c = archCtx;
    nlohmann::json releases = nlohmann::json::array();
    if (state().releases)
        releases = *state().releases;
    else
        for (const std::string& release : c.relNameList)
            releases.push_back(release);
    return {{"scripted", c.scripted},
            {"mode", c.mode == RunMode::checkOnly ? "checkOnly" : "archive"},
            {"level", optionalText(c.levelName)},
            {"releases", releases},
            {"fileSystem", optionalText(c.fileSystemName)},
            {"device", optionalText(c.deviceName)},
            {"workDir", optionalText(c.workDirName)},
            {"removal", c.deleteAfterArchive == 1},
            {"continueAfterCpio", c.continueAfterCpio},
            {"force", state().force}};
}

nlohmann::json bytesJson() {
    const std::optional<ArchiveBytes> bytes = archiveBytes();
    if (!bytes)
        return nullptr;
    return {{"script", bytes->script}, {"exports", bytes->exports}, {"maps", bytes->maps},
            {"configFiles", bytes->configFiles}, {"histories", bytes->histories}};
}

// The estimate exists once a check-only run has been through its storage
// phase.
nlohmann::json estimateJson() {
    const auto& phases = state().phases;
    const bool estimated = std::ranges::any_of(phases, [](const PhaseTime& p) { return p.phase == RunPhase::end; });
    if (archiving() || !estimated)
        return nullptr;
    // The megabytes as the run printed them.
    const float megabytes = static_cast<float>(static_cast<double>(archCtx.fileSystemStore) / 1000000.0);
    char printed[64];
    std::snprintf(printed, sizeof printed, "%.2f", static_cast<double>(megabytes));
    return {{"bytes", archCtx.fileSystemStore}, {"megabytes", std::strtod(printed, nullptr)}};
}

const char* statusName(ExitStatus status) {
    for (const ExitStatusHelp& entry : exitStatusHelp)
        if (entry.status == status)
            return entry.name;
    return "failed";
}

// Writes the text to a new file in the directory and syncs it; its name,
// or empty with errno set.
std::string writeTemporary(const fs::path& target, const std::string& text) {
    std::string name = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return {};
    const mode_t mask = umask(0);
    umask(mask);
    bool written = fchmod(fd, 0666 & ~mask) == 0;
    for (std::size_t at = 0; written && at < text.size();) {
        const ssize_t n = write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        at += written ? static_cast<std::size_t>(n) : 0;
    }
    written = written && fsync(fd) == 0;
    const int saved = errno;
    if (close(fd) != 0 || !written) {
        unlink(name.c_str());
        errno = written ? errno : saved;
        return {};
    }
    return name;
}

}  // namespace

void beginRunSummary(const RunRequest& request) {
    SummaryState& s = state();
    s = SummaryState{};
    s.path = request.summaryPath;
    s.force = request.force;
}

void startPhase(RunPhase phase) {
    SummaryState& s = state();
    endPhase();
    s.phases.push_back({phase});
    s.phaseStart = Clock::now();
    s.storeAtStart = archCtx.fileSystemStore;
}

void noteRowCopySeconds(double seconds) { state().rowCopySeconds = seconds; }

void setFailureStatus(ExitStatus status) { state().failure = status; }

void noteDialogChoices() {
    state().releases = std::vector<std::string>(archCtx.relNameList.begin(), archCtx.relNameList.end());
}

ExitStatus failureStatus() {
    const ArchiveContext& c = archCtx;
    if (!c.scripted)
        return ExitStatus::failed;
    if (c.archiveNotVerified)
        return ExitStatus::notVerified;
    if (c.keepArchive == 1 && c.deleteAfterArchive == 1)
        return ExitStatus::removalFailed;
    return state().failure;
}

ExitStatus finishedStatus() {
    return archCtx.scripted && archCtx.archiveNotVerified ? ExitStatus::notVerified : ExitStatus::done;
}

void measureArchiveBytes() {
    if (archiving())
        state().measured = isDeviceArchive() ? measureCpioList() : measureDirectory(archCtx.fileSystemName);
}

std::optional<ArchiveBytes> archiveBytes() {
    if (archiving())
        return state().measured;
    return estimatedBytes();
}

std::int64_t ArchiveBytes::* byteKind(const std::string& relative) {
    if (relative == "PELOarchive.dbData")
        return &ArchiveBytes::script;
    if (relative == "PELOarchive.export" || relative == "PELOarchive.notesData" ||
        relative == "PELOarchive.versionsData")
        return &ArchiveBytes::exports;
    if (relative.starts_with("maps/"))
        return &ArchiveBytes::maps;
    if (relative.starts_with("configField/") ||
        (relative.ends_with(".ld") && relative.find('/') == std::string::npos))
        return &ArchiveBytes::configFiles;
    if (relative.starts_with("vc/"))
        return &ArchiveBytes::histories;
    return nullptr;
}

std::string runSummaryJson(ExitStatus status) {
    endPhase();
    nlohmann::json counts = nlohmann::json::object();
    for (const auto& [table, count] : objectCounts())
        counts[table] = count;
    nlohmann::json phases = nlohmann::json::array();
    for (const PhaseTime& p : state().phases)
        phases.push_back({{"name", phaseNames[static_cast<std::size_t>(p.phase)]}, {"seconds", p.seconds}});
    const std::span<const int> printed = msgPrinted();
    const nlohmann::json summary = {
        {"program", programName},
        {"level", serverLevel},
        {"choices", choices()},
        {"outcome", statusName(status)},
        {"exitStatus", static_cast<int>(status)},
        {"messages", std::vector<int>(printed.begin(), printed.end())},
        {"counts", counts},
        {"bytes", bytesJson()},
        {"estimate", estimateJson()},
        {"phases", phases},
        {"rowCopySeconds", state().rowCopySeconds},
    };
    // Names come from the command line or the terminal and need not be
    // UTF-8; what is not shows as U+FFFD rather than losing the summary.
    return summary.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

int writeRunSummary(ExitStatus status) {
    const std::optional<std::string>& path = state().path;
    if (!path)
        return 0;
    const std::string text = runSummaryJson(status);
    const std::string temporary = writeTemporary(*path, text);
    if (!temporary.empty() && std::rename(temporary.c_str(), path->c_str()) == 0)
        return 0;
    const std::string why = std::strerror(errno);
    if (!temporary.empty())
        unlink(temporary.c_str());
    msgPrint(1709, programName, path->c_str(), why.c_str());
    return 1;
}

int endRunWith(ExitStatus status) {
    if (writeRunSummary(status) != 0 && status == ExitStatus::done)
        return static_cast<int>(ExitStatus::failed);
    return static_cast<int>(status);
}

}  // namespace pelo
