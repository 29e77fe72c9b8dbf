#pragma once

// Shared by the Objective-C++ sources of this project.

#import <Foundation/Foundation.h>

#include <string>
#include <vector>

// The sources count references by hand (retain, release, autorelease and the
// Create/Copy rule for Core Foundation objects). Under ARC the same lines
// would mean something else, so such a build stops here.
#if defined(__has_feature)
#if __has_feature(objc_arc)
#error "The Objective-C++ sources use manual reference counting: build them without -fobjc-arc."
#endif
#endif

namespace NDUtilities {

// The bytes that POSIX calls expect for a path (the file system's own
// encoding and normalisation); empty for nil, an empty path, or a path the
// file system cannot represent. Never raises, unlike fileSystemRepresentation.
inline std::string posixPathOf(NSString* path)
{
    if ([path length] == 0)
        return std::string();
    // Decomposition can lengthen a path; sixteen bytes for each UTF-16 unit
    // cover the worst case.
    std::vector<char> buffer([path length] * 16 + 1);
    if (![path getFileSystemRepresentation:buffer.data() maxLength:buffer.size()])
        return std::string();
    return std::string(buffer.data());
}

// The platform path for bytes that POSIX calls use; nil when they cannot be
// read as a path (empty, or not in the file system's encoding).
inline NSString* platformPathOf(const std::string& path)
{
    if (path.empty())
        return nil;
    return [[NSFileManager defaultManager] stringWithFileSystemRepresentation:path.c_str() length:path.size()];
}

} // namespace NDUtilities
