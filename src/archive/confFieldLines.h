// What the narrow and the wide reader of the configurable-field tables
// share: the file walk and the filling of the table.  They differ only in
// how a line is cut to its length and into its fields.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "archive/confField.h"

namespace pelo::confFieldDetail {

/// The fields of one whole line (new-line removed), after the reader has
/// cut the line to its length; each field at most configTextMax bytes.
using SplitLine = std::vector<std::string> (*)(std::string_view line);

/// The line's fields split on the byte '|', each cut to configTextMax
/// bytes.
std::vector<std::string> splitBytes(std::string_view line);

/// Empties the table, then adds an entry for each enabled line of the file
/// at relativePath below the family home.
void readTableFile(ConfigTable& table, const char* relativePath, SplitLine split);

}  // namespace pelo::confFieldDetail
