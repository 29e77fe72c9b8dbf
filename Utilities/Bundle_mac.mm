#include "Bundle.h"

#include "FoundationGlue_mac.h"

// Reference counting is manual: every wrapper retains what it holds and
// releases it once. Temporary objects go to the caller's autorelease pool.
// The header knows the objects only as opaque handles; these casts are the
// one place where a handle turns back into its Foundation object.

namespace {

NSBundle* bundleOf(BundleObject* handle)
{
    return reinterpret_cast<NSBundle*>(handle);
}

BundleObject* retainedHandleOf(NSBundle* bundle)
{
    return reinterpret_cast<BundleObject*>([bundle retain]);
}

NSString* textOf(const PlatformText* handle)
{
    return reinterpret_cast<NSString*>(const_cast<PlatformText*>(handle));
}

const PlatformText* handleOf(NSString* text)
{
    return reinterpret_cast<const PlatformText*>(text);
}

NSString* platformText(const std::string& text)
{
    // nil for bytes that are not UTF-8; no bundle is found for them.
    return [NSString stringWithUTF8String:text.c_str()];
}

NSBundle* bundleAt(NSString* path)
{
    return path ? [NSBundle bundleWithPath:path] : nil;
}

} // namespace

Bundle::Bundle()
    : Bundle(retainedHandleOf([NSBundle mainBundle]))
{
}

Bundle::Bundle(const std::string& path)
    : Bundle(retainedHandleOf(bundleAt(platformText(path))))
{
}

Bundle::Bundle(BundleObject* owned)
    : m_bundle(owned)
{
}

// NSBundle does not adopt NSCopying, so `copy` would raise; bundle objects are
// immutable and shared per folder anyway, so the copy takes its own reference.
Bundle::Bundle(const Bundle& other)
    : Bundle(retainedHandleOf(bundleOf(other.m_bundle)))
{
}

Bundle::~Bundle()
{
    [bundleOf(m_bundle) release];
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
        return Bundle(nullptr);
    // The name goes in as UTF-8 text; "%s" would read it in the legacy C-string encoding.
    return Bundle(retainedHandleOf(bundleAt([NSString stringWithFormat:@"%@/%@", plugins, plugin])));
}

std::string Bundle::rootPath()
{
    return convertToString(handleOf([bundleOf(m_bundle) bundlePath]));
}

std::string Bundle::executablePath()
{
    return convertToString(handleOf([bundleOf(m_bundle) executablePath]));
}

std::string Bundle::pluginsPath()
{
    return convertToString(handleOf([bundleOf(m_bundle) builtInPlugInsPath]));
}

std::string Bundle::resourcePath()
{
    return convertToString(handleOf([bundleOf(m_bundle) resourcePath]));
}

std::string Bundle::identifier()
{
    return convertToString(handleOf([bundleOf(m_bundle) bundleIdentifier]));
}

std::string Bundle::convertToString(const PlatformText* text)
{
    // Messages to nil answer NULL; never build a string from that.
    const char* bytes = [textOf(text) cStringUsingEncoding:NSUTF8StringEncoding];
    return bytes ? std::string(bytes) : std::string();
}
