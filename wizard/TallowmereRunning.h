#pragma once

// True while at least one copy of the product (bundle identifier
// "com.nordaxis.Tallowmere") runs. Asks the platform anew at every call.
bool checkIfTallowmereIsRunning();
