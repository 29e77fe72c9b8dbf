#pragma once

// The bundle identifier by which a running copy of the product is recognised.
inline constexpr char kTallowmereBundleIdentifier[] = "com.nordaxis.Tallowmere";

// True while at least one copy of the product runs. Asks the platform anew at
// every call.
bool checkIfTallowmereIsRunning();
