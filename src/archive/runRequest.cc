#include "archive/runRequest.h"

#include <string_view>

namespace pelo {

RunRequest parseRunRequest(int argc, const char* const argv[]) {
    RunRequest request;
    request.force = argc > 1 && std::string_view(argv[1]) == "-F";
    return request;
}

}  // namespace pelo
