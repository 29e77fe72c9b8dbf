#pragma once

#include <string>

// Strict UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF.
// What a platform without a text decoder of its own checks the tool's
// verdict with.
bool isValidUtf8(const std::string& text);
