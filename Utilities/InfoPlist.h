#pragma once

#include <optional>
#include <string>

namespace NDUtilities {

// Reads the string value of a top-level key from an XML property list such as
// a bundle's Contents/Info.plist. No value when the file is missing, is not a
// readable XML property list, lacks the key, or holds no string under it.
std::optional<std::string> infoPlistString(const std::string& plistPath, const std::string& key);

} // namespace NDUtilities
