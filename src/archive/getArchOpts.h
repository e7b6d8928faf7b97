// The dialog of an archive run and the small routines it shares with the
// phases: the name-length check, the destination checks, the question asked
// after cpio, the allocator that ends the run, and the file-type classifier.
//
// Every answer is one blank-delimited token of standard input; a menu answer
// is valid only as exactly one of the digits offered, and one invalid answer
// ends the dialog.  Tokens longer than any name may be are cut (at a whole
// character) and stay too long, so no input can overrun anything.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "archive/runRequest.h"

namespace pelo {

/// Runs the whole dialog once and fills the run settings and work-file
/// paths of the archive context.  What the request gives is taken without
/// its menu or prompt, through the same checks as a typed answer; the rest
/// is asked, unless the request is scripted: then nothing is read, and a
/// question it leaves open is refused (1307).  0 to go on; 1 to end the run after an invalid answer, a
/// failed check, "Exit" or the end of standard input.  Every refusal has
/// printed its message.
int getArchiveOptionAndParms(const RunRequest& request = {});

/// 1 (after message 1346 with the name and limit - 1) when the name has
/// more than limit - 1 characters; else 0.  Characters, not bytes, count.
/// A name that is not text of the run's locale cannot be counted: 1 after
/// message 1705 with the name.
int checkLen(std::string_view name, int limit);

/// 0 when the directory exists and holds nothing but "." and "..";
/// otherwise prints 1315, 1366 or 1316 and returns 1.
int validateFileSystem(const std::string& directory);

/// 0 when the name contains "/dev/r" or "/dev/nr"; else prints 1475 and
/// returns 1.  The device itself is not looked at.
int validateDevice(const std::string& device);

/// The question after cpio: 0 continue, 1 quit, 2 (after 1307) for an
/// invalid answer, so the caller asks again.  A run told to continue
/// (--continue) answers 0 without asking.  At the end of standard input
/// it answers 1, since no answer can come.  A termination signal while it
/// waits ends the run through the signal path.
int getUserInput();

/// The question after a device that cannot be read back (0012-017 with the
/// device and why): true only for "2", removal all the same.  Any other
/// answer, or the end of standard input, is no; one that is neither digit
/// prints 1307 first.  It is asked once; a scripted run reads no answer
/// and takes no.
bool askUnverifiedRemoval(const std::string& device, const std::string& why);

struct FreeBlock {
    void operator()(void* block) const noexcept { std::free(block); }
};
using MemBlock = std::unique_ptr<void, FreeBlock>;

/// A zero-filled block of size bytes; on exhaustion prints 1367 and ends
/// the run through cleanUpAndExitNoMem.
MemBlock initMem(std::size_t size);

/// Makes failed C++ allocations of the archive code end like initMem.
void installArchiveNewHandler();

/// The type code of a Files TYPE value: "text" 0, "long" 5, "special" 6,
/// "longSp" 7; anything else is binary: 2 for a PVCS family, else 1.
int fileType(std::string_view type);

}  // namespace pelo
