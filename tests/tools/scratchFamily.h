// The two scratch databases of the tools' archive tests: the family's, and
// the empty one its archive is reloaded into, both of the case's backend;
// and the verification of an archive, which needs neither.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "db/backends.h"
#include "db/client.h"
#include "support/commandLine.h"
#include "tools/removedObjects.h"

namespace pelo::testing {

/// Makes both databases; the reason to skip the case when the backend
/// cannot be had (no cluster), else empty.
inline std::string openScratchPair(dbtest::Backend backend, std::unique_ptr<dbtest::ScratchDatabase>& family,
                                   std::unique_ptr<dbtest::ScratchDatabase>& reload) {
    family = std::make_unique<dbtest::ScratchDatabase>(backend);
    reload = std::make_unique<dbtest::ScratchDatabase>(backend);
    return !family->unavailable().empty() ? family->unavailable() : reload->unavailable();
}

/// mkfamily's options that put the family into its scratch database: none
/// on SQLite (the family's own database file); on PostgreSQL the database
/// and the cluster's login, which is then the family's.
inline std::string familyTargetOptions(const dbtest::ScratchDatabase& db) {
    if (db.backend() != dbtest::Backend::postgres)
        return {};
    return " --target=" + shellQuote(db.target()) + " --login=" + shellQuote(db.user()) +
           " --password=" + shellQuote(db.password());
}

/// Runs --verify on the archive in path (a directory or a device) with
/// nothing of the family but its tools (and TMPDIR when given); the output
/// ends with "status=N".
inline std::string verifyArchive(const std::string& vcBin, const std::string& path, const std::string& tmp = "/tmp") {
    return capture("env -i PATH=/usr/bin:/bin TMPDIR=" + shellQuote(tmp) + " PELO_VCBIN=" + shellQuote(vcBin) + " " +
                   shellQuote(PELO_BINARY_DIR "/src/peloarchive") + " --verify " + shellQuote(path) +
                   " 2>&1; echo status=$?");
}

/// A case of the tools' archive tests on its pair of scratch databases,
/// skipped when its backend cannot be had.  The connection a test makes to
/// the family to look at it is rolled back and closed after it.
template <class Case>
class ScratchPairTest : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        if (const std::string why = openScratchPair(backend(), familyDb_, reloadDb_); !why.empty())
            GTEST_SKIP() << why;
    }
    void TearDown() override {
        if (sqlConnected())
            sqlRollbackRelease();
    }
    dbtest::Backend backend() const { return this->GetParam().backend; }

    std::unique_ptr<dbtest::ScratchDatabase> familyDb_, reloadDb_;
};

}  // namespace pelo::testing
