#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

// True when no one but root and `user` can change what would run at `path`:
// it is a regular file, and neither it nor any folder on the way to it (links
// followed, each link's own folder included) is writable by group or others
// or belongs to anyone else. A sticky folder that others may write to is
// fine, since they can neither rename nor remove an entry they do not own.
// So is writing by `administrators`, a group whose members may become root
// anyway (macOS's "admin", which may write to /Applications), and an owner
// who is one of them (a bundle that another administrator installed).
// When refused, `why` (if given) receives the rule and the path it stopped at.
bool isToolOnlyChangeableBy(const std::string& path, uid_t user, std::optional<gid_t> administrators = std::nullopt,
    std::string* why = nullptr);
