#include "archive/peloarchive.h"

int main(int argc, char* argv[]) { return pelo::peloarchive(argc, argv); }
