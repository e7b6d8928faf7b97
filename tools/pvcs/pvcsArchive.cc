#include "pvcsArchive.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace pelo::pvcs {
namespace {

const char* const magic = "PVCS-STANDIN-ARCHIVE 1";

std::string escapeComment(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string unescapeComment(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            out += text[i + 1] == 'n' ? '\n' : text[i + 1];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

/// Splits "key value" into its parts; false when the key differs.
bool takeField(const std::string& line, const char* key, std::string& value) {
    std::string prefix = std::string(key) + " ";
    if (line.compare(0, prefix.size(), prefix) != 0)
        return false;
    value = line.substr(prefix.size());
    return true;
}

/// Reads one revision block after its "revision" line.
bool readRevision(std::istream& in, Revision& revision) {
    std::string line, count;
    if (!std::getline(in, line) || !takeField(line, "author", revision.author))
        return false;
    if (!std::getline(in, line) || !takeField(line, "date", revision.date))
        return false;
    if (!std::getline(in, line) || !takeField(line, "comment", revision.comment))
        return false;
    revision.comment = unescapeComment(revision.comment);
    if (!std::getline(in, line) || !takeField(line, "data", count))
        return false;
    std::size_t size = std::strtoul(count.c_str(), nullptr, 10);
    revision.data.assign(size, '\0');
    if (!in.read(revision.data.data(), std::streamsize(size)))
        return false;
    return std::getline(in, line) && std::getline(in, line) && line == "end";
}

/// True when child's number is base's number plus two more fields.
bool isBranchRevisionOf(const std::vector<int>& child, const std::vector<int>& base) {
    return child.size() == base.size() + 2 && std::equal(base.begin(), base.end(), child.begin());
}

void formatEntry(const Archive& archive, const Revision& revision, std::string& out);

/// Appends the revisions of every branch from base, each branch newest first.
void formatBranches(const Archive& archive, const std::vector<int>& base, std::string& out) {
    std::vector<std::pair<std::vector<int>, const Revision*>> children;
    for (const Revision& revision : archive.revisions) {
        auto fields = parseRevisionNumber(revision.number);
        if (isBranchRevisionOf(fields, base))
            children.emplace_back(fields, &revision);
    }
    std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
        auto n = a.first.size();
        if (a.first[n - 2] != b.first[n - 2])
            return a.first[n - 2] < b.first[n - 2];  // branches in order
        return a.first[n - 1] > b.first[n - 1];      // newest first within one
    });
    for (const auto& child : children)
        formatEntry(archive, *child.second, out);
}

void formatEntry(const Archive& archive, const Revision& revision, std::string& out) {
    auto fields = parseRevisionNumber(revision.number);
    std::vector<std::string> branches;
    for (const Revision& other : archive.revisions) {
        auto otherFields = parseRevisionNumber(other.number);
        if (isBranchRevisionOf(otherFields, fields)) {
            std::string branch = other.number.substr(0, other.number.rfind('.'));
            if (std::find(branches.begin(), branches.end(), branch) == branches.end())
                branches.push_back(branch);
        }
    }
    std::sort(branches.begin(), branches.end(), [](const std::string& a, const std::string& b) {
        return parseRevisionNumber(a + ".0") < parseRevisionNumber(b + ".0");
    });
    out += "-----------------------------------\nRev " + revision.number + "\n";
    out += "Checked in:     " + revision.date + "\n";
    out += "Author id:      " + revision.author + "\n";
    if (!branches.empty()) {
        out += "Branches:  ";
        for (std::size_t i = 0; i < branches.size(); ++i)
            out += (i ? "  " : "") + branches[i];
        out += "\n";
    }
    out += revision.comment + "\n";
    formatBranches(archive, fields, out);
}

}  // namespace

const Revision* Archive::find(const std::string& number) const {
    for (const Revision& revision : revisions)
        if (revision.number == number)
            return &revision;
    return nullptr;
}

std::vector<int> parseRevisionNumber(const std::string& number) {
    std::vector<int> fields;
    std::istringstream in(number);
    std::string field;
    while (std::getline(in, field, '.')) {
        if (field.empty() || field.size() > 6 ||
            field.find_first_not_of("0123456789") != std::string::npos)
            return {};
        fields.push_back(std::stoi(field));
    }
    if (fields.size() % 2 != 0 || number.empty() || number.back() == '.')
        return {};
    return fields;
}

int loadArchive(const std::string& path, Archive& archive, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open archive " + path;
        return 1;
    }
    std::string line;
    if (!std::getline(in, line) || line != magic || !std::getline(in, line) ||
        !takeField(line, "workfile", archive.workfile)) {
        error = path + " is not an archive";
        return 1;
    }
    archive.revisions.clear();
    while (std::getline(in, line)) {
        Revision revision;
        if (!takeField(line, "revision", revision.number) || !readRevision(in, revision)) {
            error = "archive " + path + " is damaged";
            return 1;
        }
        archive.revisions.push_back(std::move(revision));
    }
    return 0;
}

int saveArchive(const std::string& path, const Archive& archive, std::string& error) {
    std::string temporary = path + ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << magic << "\nworkfile " << archive.workfile << "\n";
        for (const Revision& revision : archive.revisions) {
            out << "revision " << revision.number << "\nauthor " << revision.author
                << "\ndate " << revision.date << "\ncomment " << escapeComment(revision.comment)
                << "\ndata " << revision.data.size() << "\n";
            out.write(revision.data.data(), std::streamsize(revision.data.size()));
            out << "\nend\n";
        }
        if (!out.flush()) {
            unlink(temporary.c_str());
            error = "cannot write archive " + path;
            return 1;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        error = "cannot replace archive " + path;
        return 1;
    }
    return 0;
}

int addRevision(Archive& archive, Revision revision, std::string& error) {
    auto fields = parseRevisionNumber(revision.number);
    if (fields.empty()) {
        error = "invalid revision number " + revision.number;
        return 1;
    }
    if (archive.find(revision.number)) {
        error = "revision " + revision.number + " already exists";
        return 1;
    }
    if (fields.size() > 2) {
        std::string base = revision.number.substr(0, revision.number.rfind('.'));
        base = base.substr(0, base.rfind('.'));
        if (!archive.find(base)) {
            error = "revision " + base + " to branch from does not exist";
            return 1;
        }
    }
    archive.revisions.push_back(std::move(revision));
    return 0;
}

int deleteRevision(Archive& archive, const std::string& number, std::string& error) {
    auto it = std::find_if(archive.revisions.begin(), archive.revisions.end(),
                           [&](const Revision& r) { return r.number == number; });
    if (it == archive.revisions.end()) {
        error = "revision " + number + " does not exist";
        return 1;
    }
    auto fields = parseRevisionNumber(number);
    for (const Revision& other : archive.revisions)
        if (isBranchRevisionOf(parseRevisionNumber(other.number), fields)) {
            error = "revision " + number + " has branch revision " + other.number;
            return 1;
        }
    archive.revisions.erase(it);
    return 0;
}

std::string formatLog(const std::string& path, const Archive& archive) {
    std::string out = "\nArchive:          " + path + "\nWorkfile:         " + archive.workfile +
                      "\nRevisions:        " + std::to_string(archive.revisions.size()) + "\n";
    std::vector<const Revision*> trunk;
    for (const Revision& revision : archive.revisions)
        if (parseRevisionNumber(revision.number).size() == 2)
            trunk.push_back(&revision);
    std::sort(trunk.begin(), trunk.end(), [](const Revision* a, const Revision* b) {
        return parseRevisionNumber(a->number) > parseRevisionNumber(b->number);
    });
    for (const Revision* revision : trunk)
        formatEntry(archive, *revision, out);
    out += "===================================\n";
    return out;
}

}  // namespace pelo::pvcs
