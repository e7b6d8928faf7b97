// The identity of the user running the program: for the utility, the family.
#pragma once

#include <string>

namespace pelo {

/// Looks up the real user id's password entry and caches the login name and
/// home directory.  Without an entry it logs message 1146 and exits with 1.
int passwdInit();

/// The cached login name; looks it up on first use.
const std::string& passwdName();

/// The cached home directory; looks it up on first use.
const std::string& passwdHome();

}  // namespace pelo
