#include "Paths.h"

#include "Bundle.h"
#include "FoundationGlue_mac.h"

// Each function drains its own autorelease pool, after every platform text
// has been copied into a std::string.

namespace NDUtilities {

namespace fs = boost::filesystem;

namespace {

// One text of the main bundle as a path, asked inside a pool of its own.
fs::path mainBundleText(std::string (Bundle::*accessor)())
{
    @autoreleasepool {
        return Paths::pathFromUtf8((Bundle::mainBundle().*accessor)());
    }
}

} // namespace

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
    @autoreleasepool {
        NSArray* folders = NSSearchPathForDirectoriesInDomains(
            static_cast<NSSearchPathDirectory>(directoryKind), static_cast<NSSearchPathDomainMask>(domainMask), YES);
        if ([folders count] == 0)
            return fs::path();
        return Paths::pathFromUtf8(posixPathOf([folders objectAtIndex:0]));
    }
}

fs::path Paths::homePath()
{
    @autoreleasepool {
        return pathFromUtf8(posixPathOf(NSHomeDirectory()));
    }
}

} // namespace NDUtilities
