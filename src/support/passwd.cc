#include "support/passwd.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "support/error.h"
#include "support/msg.h"

namespace pelo {

namespace {

struct Identity {
    std::string name;
    std::string home;
};

std::optional<Identity>& identity() {
    static std::optional<Identity> cached;
    return cached;
}

}  // namespace

int passwdInit() {
    const passwd* entry = getpwuid(getuid());
    if (entry == nullptr)
        std::exit(error(msgGet(1146)));
    identity() = Identity{entry->pw_name, entry->pw_dir};
    return 0;
}

const std::string& passwdName() {
    if (!identity())
        passwdInit();
    return identity()->name;
}

const std::string& passwdHome() {
    if (!identity())
        passwdInit();
    return identity()->home;
}

}  // namespace pelo
