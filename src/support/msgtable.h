// The built-in default texts of the numbered messages: the one place a text
// is written.  msg.cc indexes them by number; tools/mkcatsrc turns them into
// the source of the "pelo.cat" catalogue at build time.
#pragma once

#include <cstddef>

namespace pelo {

/// One default text: its catalogue number (set 1) and its printf format.
struct MsgDefault {
    int number;
    const char* text;
};

/// Every non-empty default text, sorted by number, each number once and in
/// 1..1685.  Numbers not listed have the empty text.
extern const MsgDefault msgDefaults[];

/// Number of entries of msgDefaults.
extern const std::size_t msgDefaultsCount;

}  // namespace pelo
