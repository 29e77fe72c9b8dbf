#pragma once

#include <string>

// Writes the verdict for the wizard: first an empty file at the path, then the
// word, each put in place by renaming a file newly and exclusively created in
// the same folder over the path. Whatever stood at the path before (a file, a
// symbolic link, a hard link to someone else's file) is replaced, never
// written through. Returns false if either step failed.
bool writeResultFile(const std::string& path, const std::string& word);
