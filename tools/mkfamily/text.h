// The texts a family is made of: dates in the family server's form, names,
// remarks with the characters that scripts and load files must survive.
#pragma once

#include <string>

#include "random.h"

namespace pelo::family {

/// The date that many minutes after the family's first day (1 September
/// 1999), as the family server writes dates: "%02d/%02d/%02d %02d:%02d:%02d"
/// with the years counted since 1900 ("99/09/01 00:00:00",
/// "100/01/01 00:00:00").
std::string familyDate(long minutes);

/// A remark of about `length` characters (at most 32000).  Remarks carry
/// '|', quotes, semicolons and newlines.
std::string remarkText(Random& random, int length);

/// A one-line abstract of at most 128 characters.
std::string abstractText(Random& random);

/// A person's name for user number n.
std::string personName(int n);

}  // namespace pelo::family
