#include "archive/runRequest.h"

#include <getopt.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "archive/exitStatus.h"

namespace pelo {

namespace {

// Long options are keyed above every character getopt can return.
enum Key : int {
    noKey = 0,
    keyCheck = 256,
    keyLevel,
    keyRelease,
    keyReleases,
    keyTo,
    keyDevice,
    keyWorkdir,
    keyRemove,
    keyYesRemove,
    keyContinue,
    keyJson,
    keyVerify,
    keyRestore,
    keyDryRun,
    keyHelp,
    keyVersion,
};

struct OptionSpec {
    Key key;
    OptionHelp help;
    bool answers;  // answers a menu, and so makes the run a scripted one
};

constexpr OptionSpec optionSpecs[] = {
    {keyCheck, {"--check", nullptr, "check the prerequisites and estimate the space; write nothing"}, true},
    {keyLevel, {"--level", "NAME", "archive the levels of a release up to and including NAME"}, true},
    {keyRelease, {"--release", "NAME", "the release of --level"}, true},
    {keyReleases, {"--releases", "\"R1 R2 ...\"", "archive these whole releases"}, true},
    {keyTo, {"--to", "DIR", "archive into DIR, an empty directory"}, true},
    {keyDevice, {"--device", "DEV", "archive onto the raw device DEV through cpio"}, true},
    {keyWorkdir, {"--workdir", "DIR", "the working directory of --device (default: the family home)"}, true},
    {keyRemove, {"--remove", nullptr, "remove the archived objects from the family (needs --yes-remove)"}, true},
    {keyYesRemove, {"--yes-remove", nullptr, "confirm --remove"}, true},
    {keyContinue, {"--continue", nullptr, "go on after cpio without asking (needed with --device)"}, true},
    {keyJson, {"--json", "FILE", "write a summary of the run to FILE, as JSON"}, false},
    {keyVerify, {"--verify", "PATH", "verify the archive in PATH: a directory, or a cpio file or device"}, false},
    {keyRestore, {"--restore", "PATH", "put back into the family what the removal of the archive in PATH took"}, false},
    {keyDryRun, {"--dry-run", nullptr, "with --restore: say what would be put back; change nothing"}, false},
    {keyHelp, {"--help", nullptr, "print this text and exit"}, false},
    {keyVersion, {"--version", nullptr, "print the program's level and exit"}, false},
};

constexpr OptionHelp forceHelp = {"-F", nullptr, "take over the archive semaphore of a run that is no longer alive"};

const OptionSpec& specOf(int key) {
    return *std::ranges::find(optionSpecs, key, &OptionSpec::key);
}

const char* nameOf(int key) { return specOf(key).help.name; }

// Two options of which a run can take only one.
struct Exclusion {
    Key option;
    Key other;
};

constexpr Exclusion exclusions[] = {
    {keyCheck, keyTo},         {keyCheck, keyDevice},   {keyCheck, keyWorkdir}, {keyCheck, keyRemove},
    {keyCheck, keyYesRemove},  {keyCheck, keyContinue}, {keyLevel, keyReleases}, {keyRelease, keyReleases},
    {keyTo, keyDevice},
};

// An option that needs one of others; noKey as the option stands for the
// first option that answers a menu, so that a scripted run which leaves a
// menu open names what made it scripted.  Removal is never taken from one
// option alone, and a device archive cannot ask its question after cpio.
struct Need {
    Key option;
    std::array<Key, 3> anyOf;
};

constexpr Need needs[] = {
    {keyLevel, {keyRelease}},    {keyRelease, {keyLevel}},       {noKey, {keyLevel, keyReleases}},
    {noKey, {keyCheck, keyTo, keyDevice}}, {keyWorkdir, {keyDevice}}, {keyContinue, {keyDevice}},
    {keyDevice, {keyContinue}},  {keyRemove, {keyYesRemove}},    {keyYesRemove, {keyRemove}},
};

RunRequest refuse(RunRequest request, int message, std::string subject, std::string other = {}) {
    request.action = RequestAction::usageError;
    request.usageError = UsageError{message, std::move(subject), std::move(other)};
    return request;
}

void take(RunRequest& request, int key, const char* value) {
    switch (key) {
    case keyLevel: request.levelName = value; break;
    case keyRelease: request.releaseNames = {value}; break;
    case keyReleases: request.releaseLine = value; break;
    case keyTo: request.fileSystemName = value; break;
    case keyDevice: request.deviceName = value; break;
    case keyWorkdir: request.workDirName = value; break;
    case keyContinue: request.continueAfterCpio = true; break;
    case keyJson: request.summaryPath = value; break;
    case keyVerify: request.verifyPath = value; break;
    case keyRestore: request.restorePath = value; break;
    case keyDryRun: request.dryRun = true; break;
    default: break;
    }
}

// The answers given must make a whole run, and no two may exclude each
// other; the first fault found is the one reported.
RunRequest checkAnswers(RunRequest request, const std::vector<int>& answers) {
    if (answers.empty())
        return request;
    const auto has = [&](int key) { return std::ranges::find(answers, key) != answers.end(); };
    for (const Exclusion& e : exclusions)
        if (has(e.option) && has(e.other))
            return refuse(std::move(request), 1719, nameOf(e.option), nameOf(e.other));
    for (const Need& need : needs) {
        const int option = need.option == noKey ? answers.front() : need.option;
        if (!has(option) || std::ranges::any_of(need.anyOf, [&](Key k) { return k != noKey && has(k); }))
            continue;
        std::string wanted;
        for (Key k : need.anyOf)
            if (k != noKey)
                wanted += (wanted.empty() ? "" : "|") + std::string(nameOf(k));
        return refuse(std::move(request), 1708, nameOf(option), wanted);
    }
    request.scripted = true;
    request.mode = has(keyCheck) ? RunMode::checkOnly : RunMode::archive;
    if (!has(keyCheck))
        request.removal = has(keyRemove);
    return request;
}

// A restore takes its archive, and besides it only --dry-run and -F.
RunRequest checkRestore(RunRequest request, const std::vector<std::string>& given) {
    if (request.restorePath.empty())
        return refuse(std::move(request), 1708, nameOf(keyDryRun), nameOf(keyRestore));
    for (const std::string& option : given)
        if (option != nameOf(keyRestore) && option != nameOf(keyDryRun) && option != "-F")
            return refuse(std::move(request), 1719, nameOf(keyRestore), option);
    request.action = RequestAction::restore;
    request.scripted = true;
    return request;
}

}  // namespace

RunRequest parseRunRequest(int argc, const char* const argv[]) {
    RunRequest request;
    std::vector<std::string> args(argv, argv + argc);
    std::vector<char*> pointers;
    for (std::string& arg : args)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    std::vector<option> longOptions;
    for (const OptionSpec& spec : optionSpecs)
        longOptions.push_back({spec.help.name + 2, spec.help.value ? required_argument : no_argument, nullptr, spec.key});
    longOptions.push_back({nullptr, 0, nullptr, 0});
    // "+": the first argument that is no option ends the options, and is
    // refused; ":" reports a missing value apart from an unknown option.
    optind = 0;
    opterr = 0;
    std::vector<int> answers;
    // Every option given, by the name it was given as: --verify takes none
    // besides itself.
    std::vector<std::string> given;
    for (;;) {
        const int at = std::max(optind, 1);
        const int key = getopt_long(argc, pointers.data(), "+:F", longOptions.data(), nullptr);
        if (key == -1)
            break;
        if (key == '?')
            return refuse(std::move(request), 1717, argv[at]);
        if (key == ':')
            return refuse(std::move(request), 1718, argv[at]);
        if (key == 'F') {
            // Only "-F" itself, as it always was: not "-FF", not "-Fx".
            if (optind == at || std::string_view(argv[at]) != "-F")
                return refuse(std::move(request), 1717, argv[at]);
            request.force = true;
            given.push_back("-F");
            continue;
        }
        if (key == keyHelp || key == keyVersion) {
            request.action = key == keyHelp ? RequestAction::help : RequestAction::version;
            return request;
        }
        if (std::ranges::find(answers, key) != answers.end() || (key == keyJson && request.summaryPath) ||
            (key == keyVerify && !request.verifyPath.empty()) || (key == keyRestore && !request.restorePath.empty()) ||
            (key == keyDryRun && request.dryRun))
            return refuse(std::move(request), 1719, nameOf(key), nameOf(key));
        if ((key == keyJson || key == keyVerify || key == keyRestore) && std::string_view(optarg).empty())
            return refuse(std::move(request), 1718, nameOf(key));
        given.push_back(nameOf(key));
        if (specOf(key).answers)
            answers.push_back(key);
        take(request, key, optarg);
    }
    if (optind < argc)
        return refuse(std::move(request), 1717, argv[optind]);
    if (!request.verifyPath.empty()) {
        for (const std::string& option : given)
            if (option != nameOf(keyVerify))
                return refuse(std::move(request), 1719, nameOf(keyVerify), option);
        request.action = RequestAction::verify;
        return request;
    }
    if (!request.restorePath.empty() || request.dryRun)
        return checkRestore(std::move(request), given);
    return checkAnswers(std::move(request), answers);
}

std::span<const OptionHelp> optionHelp() {
    static const std::vector<OptionHelp> all = [] {
        std::vector<OptionHelp> list;
        for (const OptionSpec& spec : optionSpecs)
            list.push_back(spec.help);
        list.push_back(forceHelp);
        return list;
    }();
    return all;
}

std::string usageText(const char* program) {
    const std::string p = program;
    const std::string pad(p.size(), ' ');
    std::string text = "Usage: " + p + " [-F]\n" +
                       "       " + p + " --check (--level NAME --release NAME | --releases \"R1 R2 ...\") [--json FILE]\n" +
                       "       " + p + " [-F] (--level NAME --release NAME | --releases \"R1 R2 ...\")\n" +
                       "       " + pad + "      (--to DIR | --device DEV [--workdir DIR] --continue)\n" +
                       "       " + pad + "      [--remove --yes-remove] [--json FILE]\n" +
                       "       " + p + " --verify PATH\n" +
                       "       " + p + " [-F] --restore PATH [--dry-run]\n" +
                       "       " + p + " --help | --version\n\n" +
                       "Without options the run asks its questions in menus.  Options answer them\n"
                       "instead: a run given any of them asks nothing and reads nothing from\n"
                       "standard input, and a question they leave open is an error.\n\nOptions:\n";
    for (const OptionHelp& option : optionHelp()) {
        std::string left = "  " + std::string(option.name) + (option.value ? " " + std::string(option.value) : "");
        left.resize(std::max<std::size_t>(left.size() + 2, 26), ' ');
        text += left + option.help + "\n";
    }
    text += "\nExit status (an interactive run ends with 0 or 1 only):\n";
    for (const ExitStatusHelp& status : exitStatusHelp)
        text += "  " + std::to_string(static_cast<int>(status.status)) + "  " + status.help + "\n";
    return text;
}

}  // namespace pelo
