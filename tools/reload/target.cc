#include "target.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "db/client.h"

namespace pelo::reload {
namespace {

/// How much of a failed statement a message shows: enough to find it.
std::string excerpt(std::string_view statement) {
    constexpr std::size_t shown = 100;
    if (statement.size() <= shown)
        return std::string(statement);
    std::size_t cut = shown;
    while (cut > 0 && (static_cast<unsigned char>(statement[cut]) & 0xC0) == 0x80)
        --cut;  // never inside a UTF-8 character
    return std::string(statement.substr(0, cut)) + " ...";
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

void connectTarget(const std::string& target, const std::string& login, const std::string& password, bool create) {
    if (create && target.find("://") == std::string::npos) {
        const int fd = open(target.c_str(), O_WRONLY | O_CREAT, 0644);
        if (fd < 0)
            throw ReloadError("cannot create " + target);
        close(fd);
    }
    if (sqlConnect(target, login, password) != 0)
        throw ReloadError("cannot connect to " + target + ": " + sqlca.sqlerrm);
}

void createFamilySchema(const std::string& archiveDir) {
    pelo::createFamilySchema([&](const std::string& path) { return readFile(archiveDir + "/" + path); });
}

long runScript(std::string_view script, Dialect dialect) {
    const auto fail = [](int line, const std::string& reason, std::string_view statement) {
        scriptError(line, statement.empty() ? reason : reason + "\n  " + excerpt(statement));
    };
    return pelo::runScript(script, {dialect, false, fail, {}});
}

long importExports(const std::string& archiveDir, Dialect dialect) {
    const std::vector<std::string> files =
        dialect == Dialect::oracle ? std::vector<std::string>{"PELOarchive.export"}
                                   : std::vector<std::string>{"PELOarchive.notesData", "PELOarchive.versionsData"};
    long rows = 0;
    for (const std::string& file : files) {
        const std::string path = archiveDir + "/" + file;
        const std::optional<std::string> text = readFile(path);
        if (!text)
            throw ReloadError("cannot open " + path);
        rows += importExportText(*text, path);
    }
    return rows;
}

}  // namespace pelo::reload
