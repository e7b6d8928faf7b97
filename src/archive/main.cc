#include "archive/peloarchive.h"
#include "archive/runRequest.h"

int main(int argc, char* argv[]) { return pelo::peloarchive(pelo::parseRunRequest(argc, argv)); }
