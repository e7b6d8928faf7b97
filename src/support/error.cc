#include "support/error.h"

#include <syslog.h>
#include <unistd.h>

#include <string>

#include "support/passwd.h"

namespace pelo {

int errorInit(const char* identity) {
    openlog(identity, LOG_PID | LOG_CONS, LOG_DAEMON);
    return 0;
}

int error(const char* text) {
    // Looking up the login name can itself fail, and that failure is logged
    // through here before the process ends; without the guard the two would
    // call each other until the stack runs out.  The nested record carries
    // the numeric user id instead of the name nobody could find.
    static bool lookingUpName = false;
    if (lookingUpName) {
        syslog(LOG_ERR, "%s:  %s", std::to_string(getuid()).c_str(), text);
        return 1;
    }
    lookingUpName = true;
    const std::string& name = passwdName();
    lookingUpName = false;
    syslog(LOG_ERR, "%s:  %s", name.c_str(), text);
    return 1;
}

}  // namespace pelo
