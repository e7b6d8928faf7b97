#include "archive/getArchOpts.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>
#include <optional>
#include <vector>

#include "archive/archCleanUp.h"
#include "archive/context.h"
#include "archive/peloarchive.h"
#include "support/msg.h"
#include "support/util.h"

namespace pelo {

namespace {

// Longer than any name may be in bytes (195 characters of up to 6 bytes),
// so a cut token is still refused as too long.
constexpr std::size_t tokenMaxBytes = 4096;
// The release-name line keeps this many characters; the rest is dropped.
constexpr std::size_t releaseLineMaxChars = 39999;

struct Token {
    std::string text;
    bool atEnd = false;  // no token: standard input ended first
};

// One getchar that survives an interrupted read: a pending termination
// signal ends the run here, any other interruption is read again.
int readByte() {
    for (;;) {
        errno = 0;
        int c = std::getchar();
        if (c != EOF || !std::ferror(stdin) || errno != EINTR)
            return c;
        std::clearerr(stdin);
        sigCheck();
    }
}

// Drops a character cut in two at the end of the text.
void cutToWholeCharacters(std::string& text) {
    std::mbstate_t state{};
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t n = std::mbrlen(text.data() + at, text.size() - at, &state);
        if (n == static_cast<std::size_t>(-2)) {
            text.resize(at);
            return;
        }
        if (n == static_cast<std::size_t>(-1) || n == 0)
            return;  // not text of this locale: checkLen reports it
        at += n;
    }
}

// One blank-delimited token, as scanf's "%s" reads it: leading white space
// is skipped and the white space that ends the token stays unread.
Token readToken() {
    Token token;
    int c = readByte();
    while (c != EOF && std::isspace(c))
        c = readByte();
    if (c == EOF) {
        token.atEnd = true;
        return token;
    }
    bool cut = false;
    for (; c != EOF && !std::isspace(c); c = readByte()) {
        if (token.text.size() < tokenMaxBytes)
            token.text += static_cast<char>(c);
        else
            cut = true;
    }
    if (c != EOF)
        std::ungetc(c, stdin);
    // A NUL ends the text where every C interface that takes it would end
    // it, so that the checks of a name see all of the name that is kept.
    token.text.resize(std::min(token.text.find('\0'), token.text.size()));
    if (cut)
        cutToWholeCharacters(token.text);
    return token;
}

// Prints the menu and reads its answer: the digit chosen, or 0 after 1307
// when the answer is not exactly one of the digits offered.
char askMenu(int menu, const char* digits) {
    msgPrint(menu);
    Token answer = readToken();
    if (answer.text.size() == 1 && answer.text[0] != '\0' &&
        std::strchr(digits, answer.text[0]) != nullptr)
        return answer.text[0];
    msgPrint(1307);
    return 0;
}

// Reads one name; false when standard input ended before it.
bool askName(std::string& name) {
    Token token = readToken();
    name = token.text;
    return !token.atEnd;
}

// The menu answer the request gives, or else the menu and the typed answer.
// A scripted run reads nothing: a menu its options leave open is refused
// as an invalid answer would be (the command line's check keeps this from
// happening).
char answerOf(std::optional<char> given, int menu, const char* digits) {
    if (given)
        return *given;
    if (archCtx.scripted) {
        msgPrint(1307);
        return 0;
    }
    return askMenu(menu, digits);
}

// The name the request gives, or else the prompt and the typed name; false
// when standard input ended before it.
template <class Prompt>
bool nameOf(const std::optional<std::string>& given, std::string& name, Prompt prompt) {
    if (given) {
        name = *given;
        return true;
    }
    if (archCtx.scripted)
        return false;  // no answer can come, as at the end of standard input
    prompt();
    return askName(name);
}

int compareNames(const std::string& key, const std::string& item) { return key.compare(item); }

// Whether the name is text of the run's locale: no invalid multibyte
// sequence, and none left unfinished at its end.
bool isLocaleText(std::string_view name) {
    std::mbstate_t state{};
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t n = std::mbrlen(name.data() + at, name.size() - at, &state);
        if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2))
            return false;
        at += n == 0 ? 1 : n;
    }
    return true;
}

// Characters of a name can only be counted in text of the locale; a name
// that is not ends the dialog with 1705 rather than the run without a word.
bool refuseNonText(std::string_view name) {
    if (isLocaleText(name))
        return false;
    msgPrint(1705, std::string(name).c_str());
    return true;
}

bool hasShellCharacters(const std::string& name) {
    return name.find_first_of(".~$") != std::string::npos;
}

// The checks of a typed directory name shared by both destinations.
int checkDirName(const std::string& name) {
    if (hasShellCharacters(name)) {
        msgPrint(1473, name.c_str(), programName);
        return 1;
    }
    if (refuseNonText(name))
        return 1;
    if (mbCharCount(name) > static_cast<std::size_t>(maxDirNameLen)) {
        msgPrint(1363, name.c_str(), maxDirNameLen);
        return 1;
    }
    return 0;
}

void resetDialogState(const RunRequest& request) {
    ArchiveContext& c = archCtx;
    c.scripted = request.scripted;
    c.continueAfterCpio = request.continueAfterCpio;
    c.mode = RunMode::archive;
    c.deleteAfterArchive = 0;
    c.connectedToDb = c.createdFiles = c.workDirIsFamilyHome = 0;
    c.relNameList.listFreeItems();
    for (std::string* s : {&c.levelName, &c.deviceName, &c.fileSystemName, &c.workDirName})
        s->clear();
    for (const WorkFileEntry& entry : workFileTable())
        (c.*entry.file).setPath({});
}

int askLevelArchive(const RunRequest& request) {
    if (!nameOf(request.levelName, archCtx.levelName, [] { msgPrint(1308); }) ||
        checkLen(archCtx.levelName, maxLevelNameLen + 1))
        return 1;
    std::optional<std::string> given;
    if (!request.releaseNames.empty())
        given = request.releaseNames.front();
    std::string release;
    if (!nameOf(given, release, [] { msgPrint(1309); }) || checkLen(release, maxReleaseNameLen + 1))
        return 1;
    archCtx.relNameList.listAppend(std::move(release));
    return 0;
}

// The end of the menu answer's line: the blanks and a carriage return a
// terminal or a script may leave after the digit go with the newline.
// Anything else on that line stays, as the start of the release names.
void dropAnswerLineEnd() {
    int c = readByte();
    while (c == ' ' || c == '\t' || c == '\r')
        c = readByte();
    if (c != '\n' && c != EOF)
        std::ungetc(c, stdin);
}

// The rest of the current line, keeping at most releaseLineMaxChars
// characters of the locale (a byte that starts no character counts as one);
// the remainder of a longer line is read and dropped.  The text ends at a
// NUL, where the names' C strings would, and a carriage return before the
// newline is dropped.
std::string readReleaseLine() {
    std::string line;
    std::size_t characters = 0;
    std::mbstate_t state{};
    for (int c = readByte(); c != EOF && c != '\n'; c = readByte()) {
        if (characters == releaseLineMaxChars)
            continue;
        const char byte = static_cast<char>(c);
        line += byte;
        const std::size_t n = std::mbrlen(&byte, 1, &state);
        if (n == static_cast<std::size_t>(-2))
            continue;  // the character goes on
        if (n == static_cast<std::size_t>(-1))
            state = {};
        ++characters;
    }
    line.resize(std::min(line.find('\0'), line.size()));
    if (line.ends_with('\r'))
        line.pop_back();
    return line;
}

// Each name goes through the checks of a typed one.
int takeReleaseNames(const std::vector<std::string>& given) {
    for (const std::string& release : given) {
        if (checkLen(release, maxReleaseNameLen + 1))
            return 1;
        archCtx.relNameList.listAppendUnique(std::string(release), compareNames);
    }
    return 0;
}

// The names of a release line, typed or given whole, split at blanks.
int takeReleaseLine(const std::string& line) {
    constexpr std::string_view blanks = " \t";
    std::size_t start = line.find_first_not_of(blanks);
    if (start == std::string::npos) {
        msgPrint(1382);
        return 1;
    }
    for (; start != std::string::npos; start = line.find_first_not_of(blanks, start)) {
        const std::size_t end = std::min(line.find_first_of(blanks, start), line.size());
        std::string release = line.substr(start, end - start);
        if (checkLen(release, maxReleaseNameLen + 1))
            return 1;  // the names before it stay in the list
        archCtx.relNameList.listAppendUnique(std::move(release), compareNames);
        start = end;
    }
    return 0;
}

int askReleaseArchive(const RunRequest& request) {
    if (request.releaseLine)
        return takeReleaseLine(*request.releaseLine);
    if (!request.releaseNames.empty())
        return takeReleaseNames(request.releaseNames);
    msgPrint(1310);
    dropAnswerLineEnd();
    return takeReleaseLine(readReleaseLine());
}

// Archive type menu: the level or releases to archive.
int askArchiveType(const RunRequest& request) {
    std::optional<char> given;
    if (request.levelName)
        given = '1';
    else if (request.releaseLine || !request.releaseNames.empty())
        given = '2';
    switch (answerOf(given, archiving() ? 1306 : 1305, "123")) {
    case '1':
        return askLevelArchive(request);
    case '2':
        return askReleaseArchive(request);
    case '3':
        archCtx.mode = RunMode::checkOnly;
        return 1;
    default:
        return 1;
    }
}

// The removal question and, after "yes", its confirmation; a request
// that asks for removal answers both.
int askRemoval(const RunRequest& request) {
    std::optional<char> given;
    if (request.removal)
        given = *request.removal ? '2' : '1';
    char answer = answerOf(given, 1311, "12");
    if (answer == 0)
        return 1;
    archCtx.deleteAfterArchive = answer == '2' ? 1 : 0;
    if (!archCtx.deleteAfterArchive)
        return 0;
    archCtx.deleteAfterArchive = 0;
    answer = answerOf(given, 1520, "12");
    if (answer == 0)
        return 1;
    archCtx.deleteAfterArchive = answer == '2' ? 1 : 0;
    return 0;
}

// Reports every work file an earlier run left behind, in the order of the
// dialog's path table, so that one run shows them all; 1 when there was
// any.  A file-system archive's directory was just found empty, so there
// only the family home can hold one.
int refuseLeftovers() {
    std::vector<const WorkFileEntry*> files;
    for (const WorkFileEntry& entry : workFileTable())
        files.push_back(&entry);
    std::ranges::sort(files, {}, &WorkFileEntry::dialogOrder);
    int found = 0;
    for (const WorkFileEntry* entry : files) {
        const std::string& path = (archCtx.*entry->file).path();
        if (!path.empty() && fileIsThere(path.c_str())) {
            msgPrint(1433, path.c_str());
            found = 1;
        }
    }
    return found;
}

int askFileSystem(const RunRequest& request) {
    const auto prompt = [] { msgPrint(1313, archCtx.familyHomeDir.c_str()); };
    if (!nameOf(request.fileSystemName, archCtx.fileSystemName, prompt) || checkDirName(archCtx.fileSystemName) ||
        validateFileSystem(archCtx.fileSystemName))
        return 1;
    buildWorkFilePaths();
    return refuseLeftovers();
}

// A working directory the request names is the family home's answer when
// it is the family home; a scripted run that names none works there too.
int askWorkDir(const RunRequest& request) {
    std::optional<char> given;
    if (request.workDirName)
        given = *request.workDirName == archCtx.familyHomeDir ? '1' : '2';
    else if (request.scripted)
        given = '1';
    char answer = answerOf(given, 1383, "12");
    if (answer == '1') {
        archCtx.workDirName = archCtx.familyHomeDir;
        archCtx.workDirIsFamilyHome = 1;
        return 0;
    }
    if (answer == 0)
        return 1;
    if (!nameOf(request.workDirName, archCtx.workDirName, [] { msgPrint(1384); }) ||
        checkDirName(archCtx.workDirName))
        return 1;
    if (!dirExists(archCtx.workDirName.c_str())) {
        msgPrint(1315, archCtx.workDirName.c_str());
        return 1;
    }
    return 0;
}

int askDevice(const RunRequest& request) {
    ArchiveContext& c = archCtx;
    if (!nameOf(request.deviceName, c.deviceName, [] { msgPrint(1314); }) || refuseNonText(c.deviceName))
        return 1;
    if (mbCharCount(c.deviceName) > static_cast<std::size_t>(maxDeviceNameLen)) {
        msgPrint(1364, c.deviceName.c_str(), maxDeviceNameLen);
        return 1;
    }
    if (validateDevice(c.deviceName) || askWorkDir(request))
        return 1;
    buildWorkFilePaths();
    return refuseLeftovers();
}

int askDestination(const RunRequest& request) {
    std::optional<char> given;
    if (request.fileSystemName)
        given = '1';
    else if (request.deviceName)
        given = '2';
    switch (answerOf(given, 1312, "12")) {
    case '1':
        return askFileSystem(request);
    case '2':
        return askDevice(request);
    default:
        return 1;
    }
}

struct CloseDir {
    void operator()(DIR* dir) const noexcept { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, CloseDir>;

}  // namespace

int getArchiveOptionAndParms(const RunRequest& request) {
    resetDialogState(request);
    std::optional<char> given;
    if (request.mode)
        given = *request.mode == RunMode::checkOnly ? '1' : '2';
    switch (answerOf(given, 1304, "123")) {
    case '1':
        archCtx.mode = RunMode::checkOnly;
        break;
    case '2':
        archCtx.mode = RunMode::archive;
        break;
    case '3':
        archCtx.mode = RunMode::checkOnly;
        return 1;
    default:
        return 1;
    }
    if (askArchiveType(request))
        return 1;
    if (!archiving())
        return 0;
    if (askRemoval(request) || askDestination(request))
        return 1;
    return 0;
}

int checkLen(std::string_view name, int limit) {
    if (refuseNonText(name))
        return 1;
    if (mbCharCount(name) <= static_cast<std::size_t>(limit - 1))
        return 0;
    msgPrint(1346, std::string(name).c_str(), limit - 1);
    return 1;
}

int validateFileSystem(const std::string& directory) {
    if (!dirExists(directory.c_str())) {
        msgPrint(1315, directory.c_str());
        return 1;
    }
    DirHandle dir(opendir(directory.c_str()));
    if (!dir) {
        msgPrint(1366, "opendir()", directory.c_str());
        return 1;
    }
    while (const dirent* entry = readdir(dir.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            msgPrint(1316, directory.c_str());
            return 1;
        }
    }
    return 0;
}

int validateDevice(const std::string& device) {
    if (device.find("/dev/r") != std::string::npos || device.find("/dev/nr") != std::string::npos)
        return 0;
    msgPrint(1475, device.c_str());
    return 1;
}

int getUserInput() {
    if (archCtx.continueAfterCpio)
        return 0;
    msgPrint(archCtx.deleteAfterArchive ? 1488 : 1487);
    Token answer = readToken();
    if (answer.text == "1")
        return 0;
    if (answer.text == "2" || answer.atEnd)
        return 1;
    msgPrint(1307);
    return 2;
}

bool askUnverifiedRemoval(const std::string& device, const std::string& why) {
    msgPrint(1716, device.c_str(), why.c_str());
    // No option answers it: a script that asked for removal asked for it
    // after a read-back, so it gets no removal without one.
    if (archCtx.scripted)
        return false;
    const Token answer = readToken();
    if (answer.text == "2")
        return true;
    if (!answer.atEnd && answer.text != "1")
        msgPrint(1307);
    return false;
}

MemBlock initMem(std::size_t size) {
    MemBlock block(std::calloc(1, size == 0 ? 1 : size));
    if (!block) {
        msgPrint(1367, programName);
        cleanUpAndExitNoMem();
    }
    return block;
}

void installArchiveNewHandler() {
    std::set_new_handler([] {
        // The clean-up itself allocates a little; running out again there
        // must not loop back here.
        std::set_new_handler([] { std::_Exit(1); });
        msgPrint(1367, programName);
        cleanUpAndExitNoMem();
    });
}

int fileType(std::string_view type) {
    if (type == "text")
        return 0;
    if (type == "long")
        return 5;
    if (type == "special")
        return 6;
    if (type == "longSp")
        return 7;
    return vcIsPVCS() ? 2 : 1;
}

}  // namespace pelo
