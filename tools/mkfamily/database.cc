// One writer per table: each binds the planned row's fields in column
// order into "INSERT INTO <table> VALUES (...)".  Any failed statement
// ends the load; nothing is committed then.
#include "database.h"

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

#include "db/client.h"
#include "db/schema.h"

namespace pelo::family {
namespace {

using S = std::string_view;

void run(std::string_view text, SqlBinds binds) {
    if (sqlExecute(text, binds) < 0)
        throw std::runtime_error(std::string(text.substr(0, 40)) + ": " + sqlca.sqlerrm);
}

void writePeople(const Family& f) {
    for (const User& u : f.users)
        run("INSERT INTO USERS VALUES (:b1,:b2,:b3,:b4,:b5,:b6,:b7,:b8,:b9)",
            {{1, u.ID}, {2, S(u.LOGIN)}, {3, S(u.NAME)}, {4, S(u.SUPERUSER)}, {5, S(u.AREA)},
             {6, S(u.ADDRESS)}, {7, S(u.ADDDATE)}, {8, S(u.DROPDATE)}, {9, S(u.LASTUPDATE)}});
    for (const Host& h : f.hosts)
        run("INSERT INTO HOSTS VALUES (:b1,:b2,:b3,:b4)",
            {{1, h.USERID}, {2, S(h.NAME)}, {3, S(h.LOGIN)}, {4, h.ADDRESS}});
}

void writeComponents(const Family& f) {
    for (const Component& c : f.components)
        run("INSERT INTO COMPONENTS VALUES (:b1,:b2,:b3,:b4,:b5,:b6,:b7,:b8,:b9,:b10,:b11,:b12)",
            {{1, c.ID}, {2, S(c.NAME)}, {3, c.USERID}, {4, S(c.DESCRIPTION)}, {5, S(c.ADDDATE)},
             {6, S(c.DROPDATE)}, {7, S(c.LASTUPDATE)}, {8, S(c.PROCESS)}, {9, S(c.FEATUREDSR)},
             {10, S(c.FEATUREVERIFY)}, {11, S(c.DEFECTDSR)}, {12, S(c.DEFECTVERIFY)}});
    for (const CompMember& m : f.compMembers)
        run("INSERT INTO COMPMEMBERS VALUES (:b1,:b2,:b3,:b4)",
            {{1, m.PARENTID}, {2, m.CHILDID}, {3, m.RANK}, {4, m.REFERENCE}});
}

void writeReleases(const Family& f) {
    for (const Release& r : f.releases)
        run("INSERT INTO RELEASES VALUES (:b1,:b2,:b3,:b4,:b5,:b6,:b7,:b8,:b9,:b10,:b11,:b12,:b13,"
            ":b14,:b15,:b16)",
            {{1, r.ID}, {2, S(r.NAME)}, {3, r.COMPID}, {4, S(r.BINDING)}, {5, S(r.DESCRIPTION)},
             {6, r.USERID}, {7, S(r.ADDDATE)}, {8, S(r.DROPDATE)}, {9, S(r.LASTUPDATE)},
             {10, r.RELSIZE}, {11, S(r.PROCESS)}, {12, S(r.TRACK)}, {13, S(r.APPROVE)},
             {14, S(r.FIX)}, {15, S(r.LVL)}, {16, S(r.TEST)}});
    for (const Environment& e : f.environments)
        run("INSERT INTO ENVIRONMENTS VALUES (:b1,:b2,:b3)",
            {{1, S(e.NAME)}, {2, e.RELEASEID}, {3, e.USERID}});
    for (const Approver& a : f.approvers)
        run("INSERT INTO APPROVERS VALUES (:b1,:b2)", {{1, a.RELEASEID}, {2, a.USERID}});
}

void writeLevels(const Family& f) {
    for (const Level& l : f.levels)
        run("INSERT INTO LEVELS VALUES (:b1,:b2,:b3,:b4,:b5,:b6,:b7,:b8,:b9,:b10)",
            {{1, l.ID}, {2, S(l.NAME)}, {3, l.RELEASEID}, {4, l.USERID}, {5, S(l.ADDDATE)},
             {6, S(l.COMMITDATE)}, {7, S(l.LASTUPDATE)}, {8, S(l.STATE)}, {9, S(l.TYPE)},
             {10, l.LEVELSIZE}});
    for (const LevelMember& m : f.levelMembers)
        run("INSERT INTO LEVELMEMBERS VALUES (:b1,:b2)", {{1, m.LEVELID}, {2, m.TRACKID}});
}

void writeTracks(const Family& f) {
    for (const Track& t : f.tracks)
        run("INSERT INTO TRACKS VALUES (:b1,:b2,:b3,:b4,:b5,:b6,:b7,:b8,:b9)",
            {{1, t.ID}, {2, t.RELEASEID}, {3, t.DEFECTID}, {4, t.USERID}, {5, S(t.STATE)},
             {6, S(t.TARGET)}, {7, S(t.ACTUAL)}, {8, S(t.ADDDATE)}, {9, S(t.LASTUPDATE)}});
    for (const Change& c : f.changes)
        run("INSERT INTO CHANGES VALUES (:b1,:b2,:b3,:b4,:b5,:b6,:b7)",
            {{1, c.PATHID}, {2, c.TRACKID}, {3, c.FILEID}, {4, c.VERSIONID}, {5, c.LEVELID},
             {6, S(c.TYPE)}, {7, c.USERID}});
    for (const Approval& a : f.approvals)
        run("INSERT INTO APPROVALS VALUES (:b1,:b2,:b3,:b4,:b5)",
            {{1, a.TRACKID}, {2, a.USERID}, {3, S(a.STATE)}, {4, S(a.ADDDATE)}, {5, S(a.LASTUPDATE)}});
    for (const Fix& x : f.fixes)
        run("INSERT INTO FIX VALUES (:b1,:b2,:b3,:b4,:b5,:b6)",
            {{1, x.TRACKID}, {2, x.USERID}, {3, x.COMPID}, {4, S(x.STATE)}, {5, S(x.ADDDATE)},
             {6, S(x.LASTUPDATE)}});
    for (const Test& t : f.tests)
        run("INSERT INTO TESTS VALUES (:b1,:b2,:b3,:b4,:b5,:b6)",
            {{1, t.TRACKID}, {2, S(t.ENVNAME)}, {3, t.USERID}, {4, S(t.STATE)}, {5, S(t.ADDDATE)},
             {6, S(t.LASTUPDATE)}});
    for (const Coreq& c : f.coreqs)
        run("INSERT INTO COREQS VALUES (:b1,:b2)", {{1, c.TRACKID}, {2, c.GROUPID}});
}

void writeDefects(const Family& f) {
    for (const Defect& d : f.defects)
        run("INSERT INTO DEFECTS VALUES (:b1,:b2,:b3,:b4,:b5,:b6,:b7,:b8,:b9,:b10,:b11,:b12,:b13,"
            ":b14,:b15,:b16,:b17,:b18,:b19,:b20,:b21,:b22)",
            {{1, d.ID}, {2, S(d.TYPE)}, {3, S(d.PREFIX)}, {4, S(d.NAME)}, {5, d.COMPID},
             {6, S(d.ENVNAME)}, {7, S(d.STATE)}, {8, S(d.SEVERITY)}, {9, S(d.ABSTRACT)},
             {10, S(d.REFERENCE)}, {11, S(d.ANSWER)}, {12, S(d.LEVELNAME)}, {13, S(d.LASTUPDATE)},
             {14, S(d.ADDDATE)}, {15, S(d.ASSIGNDATE)}, {16, S(d.RESPONSEDATE)}, {17, S(d.ENDDATE)},
             {18, d.ORIGINID}, {19, d.OWNERID}, {20, d.AGE}, {21, S(d.DUPLICATE)}, {22, d.RELEASEID}});
    for (const History& h : f.history)
        run("INSERT INTO HISTORY VALUES (:b1,:b2,:b3,:b4)",
            {{1, h.DEFECTID}, {2, h.USERID}, {3, S(h.ACTION)}, {4, S(h.ADDDATE)}});
    for (const Note& n : f.notes)
        run("INSERT INTO NOTES VALUES (:b1,:b2,:b3,:b4,:b5)",
            {{1, n.DEFECTID}, {2, n.USERID}, {3, S(n.ACTION)}, {4, S(n.ADDDATE)}, {5, S(n.REMARKS)}});
    for (const Verify& v : f.verifies)
        run("INSERT INTO VERIFY VALUES (:b1,:b2,:b3,:b4,:b5,:b6)",
            {{1, v.DEFECTID}, {2, v.USERID}, {3, S(v.TYPE)}, {4, S(v.STATE)}, {5, S(v.ADDDATE)},
             {6, S(v.LASTUPDATE)}});
    for (const Size& s : f.sizes)
        run("INSERT INTO SIZES VALUES (:b1,:b2,:b3,:b4,:b5,:b6,:b7,:b8)",
            {{1, s.DEFECTID}, {2, s.COMPID}, {3, s.USERID}, {4, S(s.ADDDATE)}, {5, S(s.LASTUPDATE)},
             {6, S(s.STATE)}, {7, S(s.SIZING)}, {8, s.RELEASEID}});
}

void writeFiles(const Family& f) {
    for (const File& x : f.files) {
        if (x.destroyed)
            continue;
        run("INSERT INTO FILES VALUES (:b1,:b2,:b3,:b4,:b5,:b6,:b7,:b8,:b9,:b10,:b11,:b12,:b13,:b14,"
            ":b15,:b16,:b17)",
            {{1, x.ID}, {2, x.COMPID}, {3, x.SOURCEID}, {4, x.PATHID}, {5, x.NUPATHID},
             {6, x.VERSIONID}, {7, x.NUVERSIONID}, {8, S(x.ADDDATE)}, {9, S(x.NUADDDATE)},
             {10, S(x.DROPDATE)}, {11, S(x.NUDROPDATE)}, {12, S(x.LASTUPDATE)}, {13, S(x.BASENAME)},
             {14, S(x.TYPE)}, {15, x.RELEASEID}, {16, S(x.USERLOGIN)}, {17, S(x.FMODE)}});
    }
    for (const Path& p : f.paths)
        run("INSERT INTO PATH VALUES (:b1,:b2)", {{1, p.ID}, {2, S(p.NAME)}});
    for (const Version& v : f.versions)
        run("INSERT INTO VERSIONS VALUES (:b1,:b2,:b3,:b4,:b5,:b6,:b7,:b8,:b9,:b10,:b11)",
            {{1, v.ID}, {2, v.PREVIOUSID}, {3, v.SOURCEID}, {4, v.USERID}, {5, v.RAWLINES},
             {6, v.CODELINES}, {7, v.COMMENTLINES}, {8, S(v.REMARKS)}, {9, S(v.CHANGEDATE)},
             {10, S(v.SID)}, {11, v.VERSIZE}});
    for (const FileOut& o : f.filesOut)
        run("INSERT INTO FILESOUT VALUES (:b1,:b2,:b3,:b4,:b5)",
            {{1, o.FILEID}, {2, o.VERSIONID}, {3, o.USERID}, {4, S(o.CHECKOUTDATE)}, {5, S(o.NEWSID)}});
}

void writeGlobalTables(const Family& f) {
    for (const Sequence& s : f.sequences)
        run("INSERT INTO SEQUENCE VALUES (:b1,:b2)", {{1, S(s.NAME)}, {2, s.LASTSERIAL}});
    for (const NameAction& a : f.authority)
        run("INSERT INTO AUTHORITY VALUES (:b1,:b2)", {{1, S(a.NAME)}, {2, S(a.ACTION)}});
    for (const NameAction& i : f.interest)
        run("INSERT INTO INTEREST VALUES (:b1,:b2)", {{1, S(i.NAME)}, {2, S(i.ACTION)}});
    for (const Config& c : f.config)
        run("INSERT INTO CONFIG VALUES (:b1,:b2,:b3,:b4,:b5,:b6)",
            {{1, S(c.TYPE)}, {2, S(c.NAME)}, {3, S(c.DFLT)}, {4, c.VALUE1}, {5, c.VALUE2},
             {6, S(c.DESCRIPTION)}});
    for (const NameConfig& r : f.cfgRelProc)
        run("INSERT INTO CFGRELPROC VALUES (:b1,:b2)", {{1, S(r.NAME)}, {2, S(r.CONFIG)}});
    for (const NameConfig& c : f.cfgComProc)
        run("INSERT INTO CFGCOMPROC VALUES (:b1,:b2)", {{1, S(c.NAME)}, {2, S(c.CONFIG)}});
}

/// The configured columns: added to their tables (switched-off fields too,
/// as a family keeps a column after switching its field off) and filled.
void writeConfiguredColumns(const Family& f) {
    sqlExecuteScript("ALTER TABLE DEFECTS ADD COLUMN PRIORITY VARCHAR(32);"
                     "ALTER TABLE DEFECTS ADD COLUMN CUSTOMER VARCHAR(64);"
                     "ALTER TABLE DEFECTS ADD COLUMN PLATFORM VARCHAR(32);"
                     "ALTER TABLE FILES ADD COLUMN CHECKSUM VARCHAR(16);"
                     "ALTER TABLE USERS ADD COLUMN PHONE VARCHAR(32);"
                     "ALTER TABLE USERS ADD COLUMN OFFICE VARCHAR(16)");
    if (sqlca.sqlcode < 0)
        throw std::runtime_error("configured columns: " + sqlca.sqlerrm);
    for (const Defect& d : f.defects)
        run("UPDATE DEFECTS SET PRIORITY=:b1,CUSTOMER=:b2,PLATFORM=:b3 WHERE ID=:b4",
            {{1, S(d.priority)}, {2, S(d.customer)}, {3, S(d.platform)}, {4, d.ID}});
    for (const File& x : f.files)
        if (!x.destroyed)
            run("UPDATE FILES SET CHECKSUM=:b1 WHERE ID=:b2", {{1, S(x.checksum)}, {2, x.ID}});
    for (const User& u : f.users)
        run("UPDATE USERS SET PHONE=:b1,OFFICE=:b2 WHERE ID=:b3",
            {{1, S(u.phone)}, {2, S(u.office)}, {3, u.ID}});
}

/// An SQLite target must exist before the client layer opens it.
int prepareTarget(const std::string& target, std::string& error) {
    if (target.find("://") != std::string::npos)
        return 0;
    unlink(target.c_str());
    int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return error = "cannot create " + target, 1;
    close(fd);
    return 0;
}

}  // namespace

int writeFamilyDatabase(const Family& family, const std::string& target, std::string& error) {
    if (prepareTarget(target, error) != 0)
        return 1;
    if (sqlConnect(target, family.options.login, family.options.password) != 0)
        return error = "cannot connect to " + target + ": " + sqlca.sqlerrm, 1;
    try {
        if (sqlExecuteScript(familySchemaSql()) < 0)
            throw std::runtime_error("schema: " + sqlca.sqlerrm);
        writePeople(family);
        writeComponents(family);
        writeReleases(family);
        writeLevels(family);
        writeTracks(family);
        writeDefects(family);
        writeFiles(family);
        writeGlobalTables(family);
        writeConfiguredColumns(family);
        if (sqlCommit() < 0)
            throw std::runtime_error("commit: " + sqlca.sqlerrm);
    } catch (const std::runtime_error& failure) {
        error = failure.what();
        sqlRollbackRelease();
        return 1;
    }
    sqlRollbackRelease();
    return 0;
}

}  // namespace pelo::family
