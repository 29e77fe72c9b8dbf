#pragma once

#include <functional>
#include <vector>

#include "WizardOperations.h"

// A stand-in for the privileged removal job: records the choice masks it is
// given and returns `result` without touching anything.
struct FakeJob {
    int result = 2;
    std::vector<int> masks;
    std::function<void(int mask)> onCall;

    // The job to hand to the wizard; this object must outlive the wizard.
    RemovalJob job()
    {
        return [this](int mask) {
            masks.push_back(mask);
            if (onCall)
                onCall(mask);
            return result;
        };
    }
};
