#pragma once

#include <optional>
#include <string>

// Two small reads that both programs make: the removal tool of the mount
// table, the wizard of the process table and on its way to the tool. Plain
// system calls, without the stream library's locale machinery.

// The whole file, read until its end; no value when it cannot be opened or
// a read fails.
std::optional<std::string> readWholeFile(const std::string& path);

// The text a symbolic link holds; no value when `path` is no link or cannot
// be read.
std::optional<std::string> readLink(const std::string& path);
