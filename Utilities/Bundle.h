#pragma once

#include <string>

// Handles of the platform's objects, opaque here so that this class is the
// same for C++ and Objective-C++ compilers: on macOS a BundleObject is an
// NSBundle and a PlatformText an NSString; on Linux both are records of this
// library.
struct BundleObject;
struct PlatformText;

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
    std::string convertToString(const PlatformText* text);

private:
    explicit Bundle(BundleObject* owned);

    BundleObject* m_bundle;
};
