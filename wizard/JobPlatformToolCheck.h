#pragma once

#include <sys/types.h>

#include <string>

// True when no one but root and `user` can change what would run at `path`:
// it is a regular file, and neither it nor any folder on the way to it (links
// followed, each link's own folder included) is writable by group or others
// or belongs to anyone else. A sticky folder that others may write to is
// fine, since they can neither rename nor remove an entry they do not own.
bool isToolOnlyChangeableBy(const std::string& path, uid_t user);
