#include "vc/location.h"

#include <cstdio>

namespace pelo {

const char* const vcPrefix[8] = {"s.", "b.", "s.", "s.", "s.", "b.", "s.", "b."};

int vcIsBinaryDirectory(int fileType) {
    return fileType == vcSCCSBinary || fileType == vcLong || fileType == vcLongSpecial ? 1 : 0;
}

const char* vcLocation(long sourceId, int fileType) {
    static char location[64];
    char digits[32];
    std::snprintf(digits, sizeof digits, "%06ld", sourceId);
    const char* prefix = vcPrefix[fileType >= 0 && fileType < 8 ? fileType : 0];
    std::snprintf(location, sizeof location, "%c/%c/%c/%c/%s%s", digits[0], digits[1], digits[2],
                  digits[3], prefix, digits + 4);
    return location;
}

}  // namespace pelo
