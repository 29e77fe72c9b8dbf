#pragma once

#include <sys/types.h>

#include <string>

// Writes the verdict for the wizard: first an empty file at the path, then the
// word, each put in place by renaming a file newly and exclusively created in
// the same folder over the path. Whatever stood at the path before (a file, a
// symbolic link, a hard link to someone else's file) is replaced, never
// written through.
//
// The folder is reached from "/" without following links the way the removal
// does, and must belong to root or to `folderOwner` (the user the verdict is
// for): root never creates files in a folder that another user chose. Returns
// false if either step failed; the other step may still have put its file in
// place.
bool writeResultFile(const std::string& path, const std::string& word, uid_t folderOwner);
