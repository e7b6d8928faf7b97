// A small layer over the operating system shared by all phases.  Failures
// of the operating system are logged here (through error) and reported to
// the caller as 1; conversions and allocation that cannot go on end the
// process with status 1.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>

namespace pelo {

/// The system's text for errno, or "invalid errno" outside the known range.
const char* systemErrorText();

/// Zero-filled block from calloc; on exhaustion logs message 111 and exits 1.
/// The caller frees it with free.
void* space(std::size_t size);

/// Makes failed C++ allocations behave like space: log 111 and exit 1.
void installSpaceNewHandler();

/// The variable's value less leading and trailing blanks and tabs; nothing
/// when it is unset, empty, or only blanks and tabs.
std::optional<std::string> env(const char* name);

/// Decimal text of the number in a static buffer, overwritten by each call.
const char* itoa(int number);

/// Up to (not including) the last "/"; "/" when that is the first
/// character; nothing when the path has no "/".
std::optional<std::string> dirPath(std::string_view path);

/// The part after the last "/", or the whole path when it has none.
std::string basePath(std::string_view path);

/// The directory part of path (up to and including its last "/") followed
/// by "b" and six characters that make a name not in use.  Returns 0.
int getTempName(std::string_view path, std::string& name);

/// open(2); the descriptor (or -1) goes to fd.  Logs 426 and returns 1 on
/// failure, else 0.
int openFile(int& fd, const char* path, int flags, mode_t mode);

/// mkdir(2); logs 110 and returns 1 on failure.
int makeDir(const char* path, mode_t mode);

/// Creates the directory and every missing parent, top down.  An empty path
/// or an existing directory succeeds at once.
int makePath(const char* path, mode_t mode);

/// chmod(2); logs 426 and returns 1 on failure.
int changeMode(const char* path, mode_t mode);

/// Non-zero when the path is a directory.
int dirExists(const char* path);

/// 1 when stat succeeds, whatever kind of file it is.
int fileIsThere(const char* path);

/// 1 when stat fails, else 0 with the status filled in.
int statFile(const char* path, struct stat& status);

/// 0 with the size in bytes; 1 with size 0 when stat fails (no message).
int getFileSize(const char* path, off_t& size);

/// The kind of file a mode gives: "a FIFO", "a directory", ...
const char* kindOf(mode_t mode);

/// Whether a file or directory of the family may be read, copied, listed
/// or removed without the utility leaving the family home or blocking on
/// it.  path is home + "/" + a part below home, or that part alone; home
/// itself is trusted and not examined.  Each component below home is
/// examined with lstat, one at a time, nothing is opened: every directory
/// on the way must be a directory, and the last component a regular file
/// or, with wantDirectory, a directory.  A symbolic link is followed, by
/// its text, when that stays below home (an absolute target must start
/// with home, as written or as resolved); a target that climbs out of
/// home, even to come back, leads outside.
///
/// Returns "" when the path may be used, and also when a component does
/// not exist (the caller's handling of a missing file applies; a dangling
/// link inside home counts as missing).  Otherwise a one-line text for the
/// error part of a message: the component at fault, as reached below home,
/// and what it is, for example "HOME/maps is a symbolic link that leads
/// outside the family home", "HOME/maps/r/l is a FIFO",
/// "HOME/vc/0/0/0/0/b.10 is a regular file, not a directory", or
/// "HOME/x cannot be examined: Permission denied".
std::string familyPathRefusal(const std::string& home, const std::string& path, bool wantDirectory);

/// Multibyte text to wide characters; an invalid sequence logs 1150 and
/// exits with status 1.
std::wstring convertMBStoWCS(std::string_view text);

/// Wide characters to multibyte text; an unconvertible character logs 1150
/// and exits with status 1.
std::string convertWCStoMBS(std::wstring_view text);

/// Number of characters (not bytes) of multibyte text in the current
/// locale; an invalid sequence logs 1150 and exits with status 1.
std::size_t mbCharCount(std::string_view text);

/// Number of UTF-8 characters of the text, whatever the locale, as the
/// family's database servers count a column's width: every byte but a
/// continuation byte (10xxxxxx) starts a character, so a stray byte of
/// text that is not UTF-8 counts as one.
std::size_t utf8CharCount(std::string_view text);

/// The first `count` UTF-8 characters of the text (counted as
/// utf8CharCount counts them), or the whole text when it has no more.
std::string_view utf8Prefix(std::string_view text, std::size_t count);

/// Reads standard input until its bytes form one complete multibyte
/// character and returns it; WEOF at end of input.
wint_t getwchar();

/// Tokeniser over a private copy: a non-null text starts a new scan (the
/// caller's text is not changed), null continues it.  Leading delimiters are
/// skipped; after the last token the copy is dropped and null returned.
const wchar_t* wcstok(const wchar_t* text, const wchar_t* delimiters);

}  // namespace pelo
