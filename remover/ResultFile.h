#pragma once

#include <sys/types.h>

#include <string>

namespace remover {

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

// The same for a caller whom root does not trust with its choice of path (a
// user who started the tool through pkexec). The folder must belong to
// `caller`, or be a sticky folder of root's, where no one else may rename or
// remove a file of another. The first file is created at the path exclusively;
// only a regular file of the caller's already there is replaced instead. The
// word then replaces only the file this call put there. Nothing else at the
// path is ever replaced: the call then writes nothing and returns false.
bool writeResultFileForCaller(const std::string& path, const std::string& word, uid_t caller);

} // namespace remover
