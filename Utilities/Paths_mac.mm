#include "Paths.h"

#import <Foundation/Foundation.h>

#include "Bundle.h"

// Each function drains its own autorelease pool, after every platform text
// has been copied into a std::string.

namespace NDUtilities {

namespace fs = boost::filesystem;

namespace {

// One text of the main bundle as a path, asked inside a pool of its own.
fs::path mainBundleText(std::string (Bundle::*accessor)())
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    const fs::path path = Paths::pathFromUtf8((Bundle::mainBundle().*accessor)());
    [pool drain];
    return path;
}

}  // namespace

fs::path Paths::applicationPath()
{
    return mainBundleText(&Bundle::executablePath);
}

fs::path Paths::applicationBundlePath()
{
    return mainBundleText(&Bundle::rootPath).parent_path();
}

fs::path Paths::pluginsPath()
{
    return mainBundleText(&Bundle::pluginsPath);
}

fs::path Paths::resourcePath()
{
    return mainBundleText(&Bundle::resourcePath);
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
