// Test-only declarations for the Apple syntax pass: the system version names
// and the oldest version the build targets, as Apple's reference on
// availability describes them. Never shipped.
#pragma once

#define __MAC_10_6 1060
#define __MAC_10_13 101300
#define __MAC_10_15 101500
#define __MAC_11_0 110000

// The compiler states the deployment target.
#define __MAC_OS_X_VERSION_MIN_REQUIRED __ENVIRONMENT_MAC_OS_X_VERSION_MIN_REQUIRED__
#define __MAC_OS_X_VERSION_MAX_ALLOWED __MAC_11_0
