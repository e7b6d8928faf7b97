#include "support/msg.h"

// The driver is not built yet: the utility opens and closes its catalogue.
int main() {
    pelo::msgInit();
    pelo::msgClose();
    return 0;
}
