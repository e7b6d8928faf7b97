// Reverse differences of binary histories and binmerge, which applies one.
//
// A binary directory keeps some versions as full copies and, for a version
// SID, a reverse difference "SIDd" that turns that version into the one
// before it.  A difference file is a sequence of records, read from the
// start until its end:
//
//   output offset  int32   position in the version being built
//   length         int32
//   kind           1 byte  0 skip `length` base bytes; 2 skip `skip` base
//                          bytes, then insert `length` bytes; any other
//                          value insert `length` bytes
//   skip           int32   kind 2 only
//   data           `length` bytes, for every kind but 0
//
// Integers are in the host's native byte order: the files never leave the
// family host except inside an archive that is restored on the same kind
// of host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelo {

/// One record of a reverse difference.
struct DiffRecord {
    std::int32_t offset = 0;   ///< output position the record applies at
    std::int32_t length = 0;   ///< bytes skipped (kind 0) or inserted
    std::uint8_t kind = 1;     ///< 0 skip, 2 skip then insert, else insert
    std::int32_t skip = 0;     ///< base bytes skipped first (kind 2)
    std::string data;          ///< inserted bytes (not kind 0); size == length
};

/// Record kinds as the writers of differences use them.
inline constexpr std::uint8_t diffSkip = 0;
inline constexpr std::uint8_t diffInsert = 1;
inline constexpr std::uint8_t diffReplace = 2;

/// Writes the records to a new file at path (mode 0644, replacing any
/// file there).  0, or 1 when the file cannot be written (it is removed).
int writeReverseDifference(const std::string& path, const std::vector<DiffRecord>& records);

/// Applies the difference to base and writes the result to output through
/// a temporary file in output's directory, renamed over output at the end
/// with mode 0644.  Results: 0 done, 1 memory, 2 write, 3 base cannot be
/// opened, 4 temporary output cannot be opened, 5 difference cannot be
/// opened, 6 truncated or inconsistent difference (a record behind the
/// output position, a negative length, data or base bytes missing).  On
/// any failure the temporary file is removed and output is not touched.
int binmerge(const char* base, const char* output, const char* difference);

}  // namespace pelo
