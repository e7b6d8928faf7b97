// Numbered messages: every text the utility shows or logs.  A number selects
// the text of set 1 in the "pelo.cat" catalogue when one is installed, and
// the built-in default text otherwise, so the program runs the same without
// any catalogue.
#pragma once

#include <chrono>
#include <cstddef>
#include <span>
#include <string>

namespace pelo {

/// Number of entries of the default table; valid numbers are 0 to 1745.
inline constexpr int msgCount = 1746;

/// Sets the locale from the environment and opens "pelo.cat" once.
/// 0 when the catalogue opened, -1 when not; callers need not look.  A
/// second call closes the open catalogue first and looks it up afresh, so a
/// changed NLSPATH or LANG takes effect.
int msgInit();

/// The catalogue's text for the number, or the default text.  Not owned by
/// the caller; valid until msgClose.
const char* msgFormat(int number);

/// The built-in default text of the number ("" for unused entries).
const char* msgDefault(int number);

/// Formats the message with the arguments into one static 40000-byte buffer
/// and returns it; the next call overwrites it.  Longer results are cut.
const char* msgGet(int number, ...);

/// Appends the formatted message to the caller's text; returns the number.
int msgLoad(std::string& buffer, int number, ...);

/// Replaces the caller's text by the formatted message; returns the number.
int msgReLoad(std::string& buffer, int number, ...);

/// Prints the formatted message on standard output and flushes it: the one
/// way user-visible text leaves the utility.
void msgPrint(int number, ...);

/// Prints the formatted message on standard error and flushes it: only
/// for a refused command line, which a script reads apart from the run's
/// output.
void msgPrintError(int number, ...);

/// How many printed message numbers msgPrinted keeps.
inline constexpr std::size_t msgPrintedKept = 4096;

/// The numbers of the messages printed so far by msgPrint and
/// msgPrintError, in order, repeats included, for the run's summary: the
/// first msgPrintedKept of them.  The marks of msgProgress are not kept:
/// a large run prints millions.
std::span<const int> msgPrinted();

/// Longest a progress mark waits in standard output's buffer.
inline constexpr std::chrono::milliseconds progressFlushInterval{50};

/// Prints the message, which takes no arguments, as a mark on a progress
/// line: standard output is flushed only when progressFlushInterval has
/// passed since it last was, so a run of marks costs a write now and then
/// rather than one each.  Every msgPrint flushes what marks are waiting.
void msgProgress(int number);

/// Closes the catalogue; the result of catclose, or 0 when none was open.
int msgClose();

}  // namespace pelo
