// Test-only declarations for the Apple syntax pass: the older spelling of
// the version names (see Availability.h). Never shipped.
#pragma once

#include <Availability.h>

#define MAC_OS_X_VERSION_10_6 __MAC_10_6
#define MAC_OS_X_VERSION_10_13 __MAC_10_13
#define MAC_OS_X_VERSION_10_15 __MAC_10_15
#define MAC_OS_X_VERSION_MIN_REQUIRED __MAC_OS_X_VERSION_MIN_REQUIRED
#define MAC_OS_X_VERSION_MAX_ALLOWED __MAC_OS_X_VERSION_MAX_ALLOWED
