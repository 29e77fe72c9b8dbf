// Test-only declarations for compiling the macOS sources on Linux
// (scripts/check-objc.sh): exactly what they use, written from Apple's public
// reference documentation (AppKit). Not a copy of Apple's header; never
// shipped.
#pragma once

#import <Foundation/Foundation.h>

@interface NSRunningApplication : NSObject
// The running applications with that bundle identifier; an empty array when
// there are none.
+ (NSArray*)runningApplicationsWithBundleIdentifier:(NSString*)bundleIdentifier;
@end
