// Test-only declarations for compiling the macOS sources on Linux
// (scripts/check-objc.sh): exactly what they use, written from Apple's public
// reference documentation (Service Management). Not a copy of Apple's header;
// never shipped.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <Security/Authorization.h>

// The right that a change of the system domain needs.
#define kSMRightModifySystemDaemons "com.apple.ServiceManagement.daemons.modify"

#ifdef __cplusplus
extern "C" {
#endif

extern const CFStringRef kSMDomainSystemLaunchd;

// The caller owns *outError when it is set (Create rule).
Boolean SMJobSubmit(CFStringRef domain, CFDictionaryRef job, AuthorizationRef auth, CFErrorRef* outError);
Boolean SMJobRemove(
    CFStringRef domain, CFStringRef jobLabel, AuthorizationRef auth, Boolean wait, CFErrorRef* outError);
// The caller owns the answer (Copy rule); NULL when there is no such job.
CFDictionaryRef SMJobCopyDictionary(CFStringRef domain, CFStringRef jobLabel);

#ifdef __cplusplus
}
#endif
