#include "TallowmereRunning.h"

#import <AppKit/AppKit.h>

bool checkIfTallowmereIsRunning()
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    // A nil array answers 0 to count: not running.
    const bool running =
        [[NSRunningApplication
            runningApplicationsWithBundleIdentifier:[NSString stringWithUTF8String:kTallowmereBundleIdentifier]] count]
        != 0;
    [pool drain];
    return running;
}
