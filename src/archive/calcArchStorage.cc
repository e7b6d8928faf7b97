// The database's share of the space estimate, and the counts section that
// closes the information file of an archive run.
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "archive/archUtil.h"
#include "archive/context.h"
#include "archive/peloarchive.h"
#include "archive/phases.h"
#include "support/msg.h"

namespace pelo {

namespace {

// Bytes per row, as the family's tables hold them at most.
struct RowShare {
    int ArchiveContext::*count;
    std::int32_t bytes;
};

constexpr RowShare rowShares[] = {
    {&ArchiveContext::numReleases, 246},     {&ArchiveContext::numApprovers, 51},
    {&ArchiveContext::numEnvironments, 64},  {&ArchiveContext::numLevels, 191},
    {&ArchiveContext::numLevelMembers, 51},  {&ArchiveContext::numTracks, 164},
    {&ArchiveContext::numApprovals, 122},    {&ArchiveContext::numFixes, 130},
    {&ArchiveContext::numTests, 135},        {&ArchiveContext::numCoreqs, 51},
    {&ArchiveContext::numFiles, 1257},       {&ArchiveContext::numChanges, 93},
    {&ArchiveContext::numPaths, 191},        {&ArchiveContext::numDefectsFeatures, 2577},
    {&ArchiveContext::numHistory, 87},       {&ArchiveContext::numSizes, 179},
    {&ArchiveContext::numVerify, 131},       {&ArchiveContext::numComponents, 239},
    {&ArchiveContext::numCompMbrs, 67},      {&ArchiveContext::numUsers, 2233},
    {&ArchiveContext::numHosts, 161},        {&ArchiveContext::numSequence, 60},
    {&ArchiveContext::numAuthority, 65},     {&ArchiveContext::numInterest, 65},
    {&ArchiveContext::numConfig, 135},       {&ArchiveContext::numCfgRelProc, 65},
    {&ArchiveContext::numCfgComProc, 65},
};

constexpr std::int32_t noteBytes = 4089;     // remarks of 4K on average
constexpr std::int32_t versionBytes = 1176;  // remarks of 1K on average

// The lines of the counts section, in the order the restore side reads them.
struct CountLine {
    const char* format;
    int ArchiveContext::*count;
};

constexpr CountLine countLines[] = {
    {"Releases         = %d\n", &ArchiveContext::numReleases},
    {"Approvers        = %d\n", &ArchiveContext::numApprovers},
    {"Environments     = %d\n", &ArchiveContext::numEnvironments},
    {"Levels           = %d\n", &ArchiveContext::numLevels},
    {"LevelMembers     = %d\n", &ArchiveContext::numLevelMembers},
    {"Tracks           = %d\n", &ArchiveContext::numTracks},
    {"Approvals        = %d\n", &ArchiveContext::numApprovals},
    {"Fix              = %d\n", &ArchiveContext::numFixes},
    {"Tests            = %d\n", &ArchiveContext::numTests},
    {"Coreqs           = %d\n", &ArchiveContext::numCoreqs},
    {"Files            = %d\n", &ArchiveContext::numFiles},
    {"Changes          = %d\n", &ArchiveContext::numChanges},
    {"Path             = %d\n", &ArchiveContext::numPaths},
    {"Versions         = %d\n", &ArchiveContext::numVersions},
    {"Defects(Features)= %d\n", &ArchiveContext::numDefectsFeatures},
    {"History          = %d\n", &ArchiveContext::numHistory},
    {"Notes            = %d\n", &ArchiveContext::numNotes},
    {"Verify           = %d\n", &ArchiveContext::numVerify},
    {"Sizes            = %d\n", &ArchiveContext::numSizes},
    {"Components       = %d\n", &ArchiveContext::numComponents},
    {"CompMembers      = %d\n", &ArchiveContext::numCompMbrs},
    {"Users            = %d\n", &ArchiveContext::numUsers},
    {"Hosts            = %d\n", &ArchiveContext::numHosts},
    {"Authority        = %d\n", &ArchiveContext::numAuthority},
    {"Interest         = %d\n", &ArchiveContext::numInterest},
    {"Config           = %d\n", &ArchiveContext::numConfig},
    {"Cfgrelproc       = %d\n", &ArchiveContext::numCfgRelProc},
    {"Cfgcomproc       = %d\n", &ArchiveContext::numCfgComProc},
    {"Sequence         = %d\n", &ArchiveContext::numSequence},
};

struct NotesVersions {
    std::int32_t notes = 0;
    std::int32_t versions = 0;
};

// Informix carries the archived notes and versions in its load files; the
// others export the whole tables.
NotesVersions notesVersionsRows() {
    const ArchiveContext& c = archCtx;
    if (c.database == Dialect::informix)
        return {c.numNotes, c.numVersions};
    if (c.database != Dialect::none)
        return {c.allNotes, c.allVersions};
    return {};
}

// The database's bytes, summed in 32 bits as the estimate always has been:
// a family too large for that wraps, and the estimate shows it.  The sum
// runs unsigned, where wrapping is defined, and is read back as signed.
std::int32_t databaseShare() {
    const ArchiveContext& c = archCtx;
    std::uint32_t sum = 0;
    for (const RowShare& share : rowShares)
        sum += std::uint32_t(c.*share.count) * std::uint32_t(share.bytes);
    const NotesVersions nv = notesVersionsRows();
    sum += std::uint32_t(nv.notes) * std::uint32_t(noteBytes) + std::uint32_t(nv.versions) * std::uint32_t(versionBytes);
    return static_cast<std::int32_t>(sum);
}

// The heading and the last line are checked; a line lost between them
// leaves the stream in error, which is reported with the last.
int writeCounts() {
    FILE* info = archCtx.archInfo.fp();
    const char* path = archCtx.archInfo.path().c_str();
    if (info == nullptr || std::fprintf(info, "\n%s\n", msgFormat(1455)) < 0) {
        msgPrint(1458, path);
        return 1;
    }
    int written = 0;
    for (const CountLine& line : countLines)
        written = std::fprintf(info, line.format, archCtx.*line.count);
    if (written < 0 || std::ferror(info)) {
        msgPrint(1458, path);
        return 1;
    }
    return 0;
}

}  // namespace

std::vector<std::pair<std::string, int>> objectCounts() {
    std::vector<std::pair<std::string, int>> counts;
    for (const CountLine& line : countLines) {
        const std::string_view format = line.format;
        counts.emplace_back(std::string(format.substr(0, format.find_first_of(" ="))), archCtx.*line.count);
    }
    return counts;
}

std::int64_t notesVersionsShare() {
    const NotesVersions nv = notesVersionsRows();
    return std::int64_t(nv.notes) * noteBytes + std::int64_t(nv.versions) * versionBytes;
}

int calculateStorage() {
    archCtx.fileSystemStore += databaseShare();
    if (!archiving())
        return 0;
    if (writeCounts() != 0)
        return 1;
    return closeReported(archCtx.archInfo);
}

}  // namespace pelo
