#include "support/msg.h"

#include <nl_types.h>

#include <array>
#include <chrono>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "support/msgtable.h"

namespace pelo {

namespace {

constexpr int msgSet = 1;
constexpr std::size_t msgGetSize = 40000;

const nl_catd noCatalogue = reinterpret_cast<nl_catd>(-1);

nl_catd& catalogue() {
    static nl_catd handle = noCatalogue;
    return handle;
}

// Built on first use from the sorted table, so a lookup is one index.
const std::array<const char*, msgCount>& defaultIndex() {
    static const std::array<const char*, msgCount> index = [] {
        std::array<const char*, msgCount> built{};
        built.fill("");
        for (std::size_t i = 0; i < msgDefaultsCount; ++i) {
            const int number = msgDefaults[i].number;
            if (number > 0 && number < msgCount)
                built[static_cast<std::size_t>(number)] = msgDefaults[i].text;
        }
        return built;
    }();
    return index;
}

// Formats without a length limit; the caller's va_list is left untouched.
void appendFormatted(std::string& buffer, int number, va_list args) {
    const char* format = msgFormat(number);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0)
        return;
    const std::size_t start = buffer.size();
    buffer.resize(start + static_cast<std::size_t>(length) + 1);
    va_list write;
    va_copy(write, args);
    std::vsnprintf(buffer.data() + start, static_cast<std::size_t>(length) + 1, format, write);
    va_end(write);
    buffer.resize(start + static_cast<std::size_t>(length));
}

}  // namespace

int msgInit() {
    // A second call reopens, so a changed NLSPATH or LANG takes effect.
    msgClose();
    std::setlocale(LC_ALL, "");
    catalogue() = catopen("pelo.cat", 0);
    return catalogue() == noCatalogue ? -1 : 0;
}

const char* msgDefault(int number) {
    if (number < 0 || number >= msgCount)
        return "";
    return defaultIndex()[static_cast<std::size_t>(number)];
}

const char* msgFormat(int number) {
    const char* fallback = msgDefault(number);
    if (catalogue() == noCatalogue)
        return fallback;
    return catgets(catalogue(), msgSet, number, fallback);
}

const char* msgGet(int number, ...) {
    // Formatted in a scratch area first, because an argument may be the
    // result of an earlier msgGet.  No heap is touched: the message for
    // exhausted memory is formatted here too.
    static char scratch[msgGetSize];
    static char buffer[msgGetSize];
    va_list args;
    va_start(args, number);
    const int length = std::vsnprintf(scratch, sizeof scratch, msgFormat(number), args);
    va_end(args);
    if (length < 0)
        scratch[0] = '\0';
    std::memcpy(buffer, scratch, std::strlen(scratch) + 1);
    return buffer;
}

int msgLoad(std::string& buffer, int number, ...) {
    va_list args;
    va_start(args, number);
    appendFormatted(buffer, number, args);
    va_end(args);
    return number;
}

int msgReLoad(std::string& buffer, int number, ...) {
    buffer.clear();
    va_list args;
    va_start(args, number);
    appendFormatted(buffer, number, args);
    va_end(args);
    return number;
}

namespace {

/// When standard output was last flushed.
std::chrono::steady_clock::time_point lastFlush;

void flushOutput() {
    std::fflush(stdout);
    lastFlush = std::chrono::steady_clock::now();
}

// The numbers printed, kept without touching the heap: the message for
// exhausted memory is printed too.  The first ones are what a summary
// needs; a run that prints more keeps only them.
std::array<int, msgPrintedKept> printedNumbers;
std::size_t printedCount = 0;

void notePrinted(int number) {
    if (printedCount < printedNumbers.size())
        printedNumbers[printedCount++] = number;
}

}  // namespace

void msgPrint(int number, ...) {
    notePrinted(number);
    va_list args;
    va_start(args, number);
    std::vprintf(msgFormat(number), args);
    va_end(args);
    flushOutput();
}

void msgPrintError(int number, ...) {
    notePrinted(number);
    va_list args;
    va_start(args, number);
    std::vfprintf(stderr, msgFormat(number), args);
    va_end(args);
    std::fflush(stderr);
}

std::span<const int> msgPrinted() { return {printedNumbers.data(), printedCount}; }

void msgProgress(int number) {
    std::fputs(msgFormat(number), stdout);
    if (std::chrono::steady_clock::now() - lastFlush >= progressFlushInterval)
        flushOutput();
}

int msgClose() {
    if (catalogue() == noCatalogue)
        return 0;
    const int result = catclose(catalogue());
    catalogue() = noCatalogue;
    return result;
}

}  // namespace pelo
