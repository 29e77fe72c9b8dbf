#include "TallowmereRunning.h"

#import <AppKit/AppKit.h>

#include "FoundationGlue_mac.h"
#include "TallowmereRunningRule.h"

bool checkIfTallowmereIsRunning()
{
    @autoreleasepool {
        NSString* identifier = [NSString stringWithUTF8String:kTallowmereBundleIdentifier];
        // A nil array answers 0 to count: not running.
        return [[NSRunningApplication runningApplicationsWithBundleIdentifier:identifier] count] != 0;
    }
}
