#pragma once

// Integers as text with a "," before every group of three digits from the right: scores on
// the HUD, the level-end windows, the level map and the leaderboards.

#include "vadu/string.h"

namespace gameplay {

// 1234567 gives "1,234,567". The minus sign of a negative value is not a digit: -1234 gives
// "-1,234" and -123 gives "-123".
vadu::String FormatThousands(int value);

} // namespace gameplay
