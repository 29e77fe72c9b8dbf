#include "Bundle.h"

#import <Foundation/Foundation.h>

// Reference counting is manual: every wrapper retains what it holds and
// releases it once. Temporary objects go to the caller's autorelease pool.

namespace {

NSString* platformText(const std::string& text)
{
    // nil for bytes that are not UTF-8; no bundle is found for them.
    return [NSString stringWithUTF8String:text.c_str()];
}

NSBundle* bundleAt(NSString* path)
{
    return path ? [NSBundle bundleWithPath:path] : nil;
}

}  // namespace

Bundle::Bundle()
    : m_bundle([[NSBundle mainBundle] retain])
{
}

Bundle::Bundle(const std::string& path)
    : m_bundle([bundleAt(platformText(path)) retain])
{
}

Bundle::Bundle(NSString* path)
    : m_bundle([bundleAt(path) retain])
{
}

// NSBundle does not adopt NSCopying, so `copy` would raise; bundle objects are
// immutable and shared per folder anyway, so the copy takes its own reference.
Bundle::Bundle(const Bundle& other)
    : m_bundle([other.m_bundle retain])
{
}

Bundle::~Bundle()
{
    [m_bundle release];
}

Bundle Bundle::mainBundle()
{
    return Bundle();
}

Bundle Bundle::pluginsBundleNamed(std::string name)
{
    NSString* plugins = [[NSBundle mainBundle] builtInPlugInsPath];
    NSString* plugin = platformText(name);
    if (!plugins || !plugin)
        return Bundle(static_cast<NSString*>(nil));
    // The name goes in as UTF-8 text; "%s" would read it in the legacy C-string encoding.
    return Bundle([NSString stringWithFormat:@"%@/%@", plugins, plugin]);
}

std::string Bundle::rootPath()
{
    return convertToString([m_bundle bundlePath]);
}

std::string Bundle::executablePath()
{
    return convertToString([m_bundle executablePath]);
}

std::string Bundle::pluginsPath()
{
    return convertToString([m_bundle builtInPlugInsPath]);
}

std::string Bundle::resourcePath()
{
    return convertToString([m_bundle resourcePath]);
}

std::string Bundle::identifier()
{
    return convertToString([m_bundle bundleIdentifier]);
}

std::string Bundle::convertToString(NSString* text)
{
    // Messages to nil answer NULL; never build a string from that.
    const char* bytes = [text cStringUsingEncoding:NSUTF8StringEncoding];
    return bytes ? std::string(bytes) : std::string();
}
