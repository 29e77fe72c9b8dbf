#include "Paths.h"

#import <Foundation/Foundation.h>

#include "Bundle.h"

// Each function drains its own autorelease pool, after every platform text
// has been copied into a std::string.

namespace NDUtilities {

namespace fs = boost::filesystem;

fs::path Paths::applicationPath()
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    const fs::path path = pathFromUtf8(Bundle::mainBundle().executablePath());
    [pool drain];
    return path;
}

fs::path Paths::applicationBundlePath()
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    const fs::path root = pathFromUtf8(Bundle::mainBundle().rootPath());
    [pool drain];
    return root.parent_path();
}

fs::path Paths::pluginsPath()
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    const fs::path path = pathFromUtf8(Bundle::mainBundle().pluginsPath());
    [pool drain];
    return path;
}

fs::path Paths::resourcePath()
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    const fs::path path = pathFromUtf8(Bundle::mainBundle().resourcePath());
    [pool drain];
    return path;
}

fs::path stockFolder(unsigned int directoryKind, unsigned int domainMask)
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    NSArray* folders = NSSearchPathForDirectoriesInDomains(static_cast<NSSearchPathDirectory>(directoryKind),
                                                           static_cast<NSSearchPathDomainMask>(domainMask), YES);
    fs::path result;
    if ([folders count] != 0)
        result = Paths::pathFromUtf8([[folders objectAtIndex:0] cStringUsingEncoding:NSUTF8StringEncoding]);
    [pool drain];
    return result;
}

fs::path Paths::homePath()
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    const fs::path home = pathFromUtf8([NSHomeDirectory() cStringUsingEncoding:NSUTF8StringEncoding]);
    [pool drain];
    return home;
}

}  // namespace NDUtilities
