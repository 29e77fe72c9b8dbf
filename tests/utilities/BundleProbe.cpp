// Prints what the utility library reports about the bundle this program runs
// from, one "name=value" line each. Given an argument, also looks that name
// up among the main bundle's plug-ins.
#include <iostream>

#include "Bundle.h"
#include "Paths.h"

int main(int argc, char** argv)
{
    using NDUtilities::Paths;
    Bundle main = Bundle::mainBundle();
    std::cout << "applicationPath=" << Paths::applicationPath().string() << '\n'
              << "applicationBundlePath=" << Paths::applicationBundlePath().string() << '\n'
              << "pluginsPath=" << Paths::pluginsPath().string() << '\n'
              << "resourcePath=" << Paths::resourcePath().string() << '\n'
              << "latticaExePath=" << Paths::latticaExePath().string() << '\n'
              << "nativeToolPathDir=" << Paths::nativeToolPathDir("").string() << '\n'
              << "rootPath=" << main.rootPath() << '\n'
              << "identifier=" << main.identifier() << '\n';
    if (argc > 1)
        std::cout << "plugin=" << Bundle::pluginsBundleNamed(argv[1]).rootPath() << '\n';
    return 0;
}
