// Running the outside tools the builder needs (the SCCS commands) without a
// shell: each argument is passed as it is, so nothing needs quoting.
#pragma once

#include <string>
#include <vector>

namespace pelo::family {

/// Runs program with the arguments in directory, standard input at end of
/// file, standard output and standard error collected into output.
/// Returns the exit status, or -1 when the program could not be started
/// or ended by a signal.
int runTool(const std::string& directory, const std::vector<std::string>& argv, std::string& output);

}  // namespace pelo::family
