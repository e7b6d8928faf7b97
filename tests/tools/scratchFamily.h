// The two scratch databases of the tools' archive tests: the family's, and
// the empty one its archive is reloaded into, both of the case's backend.
#pragma once

#include <memory>
#include <string>

#include "db/backends.h"
#include "support/commandLine.h"

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

}  // namespace pelo::testing
