// The hostile family (--hostile): its names and texts are what a family
// administrator's shell, the products' script readers and the utility's
// own parsing would take for their own.  Quotes, back quotes, command
// substitutions that leave a CANARY file, ; & | and backslashes, blanks and
// new-lines, a line "!", UTF-8, and somewhere in each kind the longest value
// its column allows (in bytes, so that it is also the longest in
// characters).  The texts follow from the rows' ids alone: the generator's
// sequence, and so every other value of the family, stays as it was.
//
// What a name must still be: releases and levels name directories and files
// below maps/, so they hold no '/' (and no NUL, as no text does); the
// release and level the archive requests name are typed at the dialog as
// blank-delimited tokens of at most 15 characters, so they hold no white
// space; names a table keys by stay unique (each starts with its row's id).
// A line the family product's script reader would take for its own command
// is refused by the archive on purpose (the Informix here-document's "!",
// the Sybase tool's "go"), so in the columns the script carries the family
// holds a near miss instead for that product: "! " and "go on".
#include <map>
#include <utility>

#include "planner.h"

namespace pelo::family {
namespace {

/// The text cut to at most `width` bytes, never inside a UTF-8 character.
std::string fit(std::string text, std::size_t width) {
    if (text.size() <= width)
        return text;
    std::size_t end = width;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

/// Exactly `width` bytes: the text, cut or followed by ASCII that is itself
/// hostile (no '/', so a name stays one file name).
std::string fill(const std::string& text, std::size_t width) {
    static const std::string filler = "'\"`$(touch CANARY);&|\\ ";
    std::string filled = fit(text, width);
    for (std::size_t i = 0; filled.size() < width; ++i)
        filled += filler[i % filler.size()];
    return filled;
}

/// The hostile lines for one product, in a script column or not.
struct Lines {
    std::string bang, go;
};

Lines linesFor(const std::string& product, bool inScript) {
    return {product == "informix" && inScript ? "! " : "!", product == "sybase" ? "go on" : "go"};
}

/// A free text of at most `width` bytes led by `tag`: every kind of
/// hostile character, new-lines and the product's hostile lines.
std::string freeText(const std::string& tag, std::size_t width, const Lines& lines) {
    return fit(tag + " O'Brien \"q\" $(touch CANARY) `touch CANARY`;&|back\\slash \\$HOME\n" + lines.bang + "\n" +
                   lines.go + "\nGrüße 日本語 '';\n",
               width);
}

/// A name of at most `width` bytes led by `tag`, in one of four forms by
/// `form`: a command substitution with blanks and a "!" line, the longest
/// value the column allows, blanks around it with UTF-8, or a command
/// substitution without blanks.
std::string nameText(const std::string& tag, std::size_t width, int form, const Lines& lines) {
    switch (form % 4) {
    case 0:
        return fit(tag + " $(touch CANARY) 'q' \"q\"\n" + lines.bang + "\n", width);
    case 1:
        return fill(tag + "`touch CANARY`;&|\\", width);
    case 2:
        return fit(" " + tag + "\tÜ 日本 ", width);
    default:
        return fit(tag + "$(touch${IFS}CANARY)", width);
    }
}

void hostileReleases(Family& f, const Lines& lines) {
    for (Release& release : f.releases) {
        const std::string tag = "R" + std::to_string(release.ID);
        std::string name = fill(nameText(tag, 32, release.ID + 1, lines), 32);
        // Typed at the dialog: one token of at most 15 characters.
        if (release.NAME == f.releaseArchive)
            f.releaseArchive = name = "r1'$(>CANARY)\\ü";
        else if (release.NAME == f.levelArchiveRelease)
            f.levelArchiveRelease = name = "r2\"`>CANARY`;&|";
        release.NAME = name;
        release.DESCRIPTION = release.ID == 1 ? fill(tag, 128) : freeText(tag, 128, lines);
    }
}

/// Before the releases are renamed: the level archive's release is named.
void hostileLevels(Family& f, const Lines& lines) {
    int archiveRelease = 0;
    for (const Release& release : f.releases)
        archiveRelease = release.NAME == f.levelArchiveRelease ? release.ID : archiveRelease;
    std::map<std::pair<int, std::string>, std::string> renamed;  // (release, old name) -> new
    for (Level& level : f.levels) {
        // In the small families the release request meets the first form
        // (a new-line, which a device archive refuses) and the level
        // request does not.
        std::string name = nameText("L" + std::to_string(level.ID), 32, level.ID, lines);
        if (level.NAME == f.levelArchive && level.RELEASEID == archiveRelease)
            f.levelArchive = name = "L2$(>CANARY)é';";
        renamed[{level.RELEASEID, level.NAME}] = name;
        level.NAME = name;
    }
    for (Track& track : f.tracks)
        for (std::string* name : {&track.TARGET, &track.ACTUAL})
            if (const auto found = renamed.find({track.RELEASEID, *name}); found != renamed.end())
                *name = found->second;
}

void hostileComponents(Family& f, const Lines& lines) {
    for (Component& c : f.components) {
        const std::string tag = "C" + std::to_string(c.ID);
        c.NAME = nameText(tag, 64, c.ID, lines);
        c.DESCRIPTION = c.ID == 3 ? fill(tag, 128) : freeText(tag, 128, lines);
    }
}

void hostileUsers(Family& f, const Lines& lines) {
    std::map<std::string, std::string> logins;
    for (User& user : f.users) {
        const std::string tag = "U" + std::to_string(user.ID);
        // One line, without the first form's: the PVCS histories record
        // it as their revisions' author, one field of one line.
        const std::string login = nameText(tag, 32, user.ID % 3 + 1, lines);
        logins[user.LOGIN] = login;
        user.LOGIN = login;
        user.NAME = freeText(tag, 64, lines);
        user.ADDRESS = user.ID == 2 ? fill(tag, 160) : freeText(tag, 160, lines);
    }
    for (Host& host : f.hosts) {
        host.LOGIN = logins[host.LOGIN];
        host.NAME = freeText("H" + std::to_string(host.ADDRESS), 128, lines);
    }
    for (File& file : f.files)
        file.USERLOGIN = logins[file.USERLOGIN];
}

void hostileDefects(Family& f, const Lines& lines) {
    for (Defect& d : f.defects) {
        const std::string tag = "D" + std::to_string(d.ID);
        d.NAME = d.ID == 2 ? fill(tag, 32) : nameText(tag, 32, d.ID, lines);
        d.ABSTRACT = d.ID == 3 ? fill(tag, 128) : freeText(tag, 128, lines);
        if (!d.REFERENCE.empty())
            d.REFERENCE = freeText(tag, 32, lines);
        if (!d.customer.empty())
            d.customer = freeText(tag, 64, lines);
    }
}

/// Each remark starts with the hostile text; the longest stay 32000 bytes.
void hostileRemarks(Family& f, const Lines& lines) {
    for (Note& note : f.notes)
        note.REMARKS = fit(freeText("N" + std::to_string(note.DEFECTID), 200, lines) + note.REMARKS, 32000);
    for (Version& version : f.versions)
        if (!version.REMARKS.empty())
            version.REMARKS = fit(freeText("V" + std::to_string(version.ID), 200, lines) + version.REMARKS, 32000);
}

/// "src/<component>/<base>" becomes "src/<hostile directory>/<hostile
/// prefix><base>", and each file's base name takes the same prefix, so a
/// path's last part is still its file's base name (or that name with the
/// suffixes of its renames).  The first file's base name and the first
/// path, its own, are the longest their columns allow.
void hostilePaths(Family& f, const Lines& lines) {
    const std::string prefix = fit("$(touch CANARY) 'f\"`;&|\\\n" + lines.bang + "\nü ", 60);
    const std::string first = f.files.front().BASENAME;
    const std::string longest = fill(prefix, 128 - first.size());
    const auto prefixed = [&](const std::string& base) {
        return (base == first || base.starts_with(first + ".") ? longest : prefix) + base;
    };
    for (Path& path : f.paths) {
        const std::size_t slash = path.NAME.rfind('/');
        const std::string tag = "P" + std::to_string(path.ID);
        const std::string tail = "/" + prefixed(path.NAME.substr(slash + 1));
        const std::size_t room = 196 - std::min<std::size_t>(196, tail.size() + 4);
        const std::string directory = path.ID == 1 ? fill(tag, room) : nameText(tag, std::min<std::size_t>(room, 48), path.ID, lines);
        path.NAME = "src/" + directory + tail;
    }
    for (File& file : f.files)
        file.BASENAME = prefixed(file.BASENAME);
}

}  // namespace

void planHostileTexts(Planner& p) {
    Family& f = p.family;
    const Lines script = linesFor(f.options.product, true), loadFiles = linesFor(f.options.product, false);
    hostileLevels(f, script);
    hostileReleases(f, script);
    hostileComponents(f, script);
    hostileUsers(f, script);
    hostileDefects(f, script);
    hostilePaths(f, script);
    // The remarks reach an Informix restore through its load files, where
    // the here-document's "!" is an ordinary line.
    hostileRemarks(f, loadFiles);
}

}  // namespace pelo::family
