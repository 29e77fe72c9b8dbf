#pragma once

#include <string>

namespace remover {

// Reads a decimal integer the way the platform string's intValue does: leading
// white space skipped, an optional sign, then digits up to the first other
// character. Text that starts with no number gives 0; values beyond the 32-bit
// range give the nearest limit.
int parseChoiceMask(const std::string& text);

} // namespace remover
