#pragma once

#include <string>

// The held bundle object is the platform's own: an NSBundle on macOS, a shared
// record of the bundle folder on Linux. Objective-C++ sources see the real
// Foundation classes; plain C++ sources on Apple see only an object pointer of
// the same size, so that the class layout is the same everywhere.
#if defined(__OBJC__)
@class NSBundle;
@class NSString;
#elif defined(__APPLE__)
struct objc_object;
#else
#include <memory>
struct BundleObject;
#endif

// A value wrapper of one application bundle that answers the bundle's folders
// and identifier as UTF-8 text. Every live wrapper owns exactly one reference
// to its bundle object. A wrapper for a path without a bundle holds nothing;
// its text accessors then answer an empty string.
class Bundle {
public:
    // The running application's main bundle.
    Bundle();
    // The bundle at a folder path, or none if there is no bundle there.
    explicit Bundle(const std::string& path);
#if defined(__OBJC__)
    explicit Bundle(NSString* path);
#endif
    Bundle(const Bundle& other);
    // A wrapper keeps its bundle for life.
    Bundle& operator=(const Bundle&) = delete;
    ~Bundle();

    static Bundle mainBundle();
    // The bundle "<main bundle's plug-ins folder>/<name>", or none.
    static Bundle pluginsBundleNamed(std::string name);

    std::string rootPath();
    std::string executablePath();
    std::string pluginsPath();
    std::string resourcePath();
    std::string identifier();

    // UTF-8 copy of a platform text; empty for a missing text.
#if defined(__OBJC__)
    std::string convertToString(NSString* text);
#elif !defined(__APPLE__)
    std::string convertToString(const char* text);
#endif

private:
#if defined(__OBJC__)
    NSBundle* m_bundle;
#elif defined(__APPLE__)
    objc_object* m_bundle;
#else
    std::shared_ptr<const BundleObject> m_bundle;
#endif
};
