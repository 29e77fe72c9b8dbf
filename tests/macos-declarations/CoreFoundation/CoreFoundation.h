// Test-only declarations for compiling the macOS sources on Linux
// (scripts/check-objc.sh): exactly what they use, written from Apple's public
// reference documentation. Not a copy of Apple's header; never shipped.
#pragma once

#include <stdint.h>

typedef int32_t SInt32;
typedef uint32_t UInt32;
typedef SInt32 OSStatus;
typedef unsigned char Boolean;
typedef long CFIndex;

typedef const void* CFTypeRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFDictionary* CFDictionaryRef;
typedef struct __CFError* CFErrorRef;

#ifdef __cplusplus
extern "C" {
#endif

// Gives up one reference; the argument must not be NULL.
void CFRelease(CFTypeRef cf);

// The error's code within its domain.
CFIndex CFErrorGetCode(CFErrorRef err);

#ifdef __cplusplus
}
#endif
