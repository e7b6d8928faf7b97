#include "db/tableDirectory.h"

#include <iterator>

namespace pelo {

namespace {

struct TableRow {
    const char* key;
    const char* name;
};

// Row 0 is empty; row 67 is the second compview under the key "bcompview".
constexpr TableRow tableDirectory[] = {
    {"", ""},
    {"accesstable", "AccessTable"},       {"accessdownview", "AccessDownView"},
    {"accessfastview", "AccessFastView"}, {"accessupview", "AccessUpView"},
    {"accessview", "AccessView"},         {"approvals", "Approvals"},
    {"approvalview", "ApprovalView"},     {"approvers", "Approvers"},
    {"approverview", "ApproverView"},     {"authority", "Authority"},
    {"levelmembers", "LevelMembers"},     {"levelmemberview", "LevelMemberView"},
    {"levels", "Levels"},                 {"levelview", "LevelView"},
    {"changeextractview", "ChangeExtractView"},
    {"changes", "Changes"},               {"changeview", "ChangeView"},
    {"compmembers", "CompMembers"},       {"compmemberview", "CompMemberView"},
    {"components", "Components"},         {"compview", "CompView"},
    {"config", "Config"},                 {"coreqs", "Coreqs"},
    {"defectdownview", "DefectDownView"}, {"defects", "Defects"},
    {"defectview", "DefectView"},         {"featuredownview", "FeatureDownView"},
    {"featureview", "FeatureView"},       {"environments", "Environments"},
    {"envview", "EnvView"},               {"files", "Files"},
    {"filesout", "FilesOut"},             {"filesoutview", "FilesOutView"},
    {"fileview", "FileView"},             {"fix", "Fix"},
    {"fixview", "FixView"},               {"fixdownview", "FixDownView"},
    {"history", "History"},               {"historyview", "HistoryView"},
    {"hosts", "Hosts"},                   {"hostview", "HostView"},
    {"interest", "Interest"},             {"mapextractview", "MapExtractView"},
    {"maps", "Maps"},                     {"notes", "Notes"},
    {"noteview", "NoteView"},             {"notification", "Notification"},
    {"notifydownview", "NotifyDownView"}, {"notifyfastview", "NotifyFastView"},
    {"notifyupview", "NotifyUpView"},     {"notifyview", "NotifyView"},
    {"path", "Path"},                     {"releases", "Releases"},
    {"releaseview", "ReleaseView"},       {"sequence", "Sequence"},
    {"sizes", "Sizes"},                   {"sizeview", "SizeView"},
    {"tests", "Tests"},                   {"testview", "TestView"},
    {"tracks", "Tracks"},                 {"trackview", "TrackView"},
    {"users", "Users"},                   {"verify", "Verify"},
    {"verifyview", "VerifyView"},         {"versions", "Versions"},
    {"bchangeview", "BchangeView"},       {"bcompview", "CompView"},
    {"cfgrelproc", "Cfgrelproc"},         {"cfgcomproc", "Cfgcomproc"},
};

static_assert(std::size(tableDirectory) == 70, "the directory ends after row 69");

}  // namespace

const char* getTableName(int index) { return tableDirectory[index].name; }

}  // namespace pelo
