#pragma once

#include <functional>
#include <vector>

// A stand-in for the privileged removal job, linked into the wizard's tests in
// place of the real one: authorizeHelperTool records the choice mask it was
// given and returns `result` without touching anything.
namespace fakejob {

extern int result;
extern std::vector<int> masks;
extern std::function<void(int mask)> onCall;

void reset(int nextResult);

}  // namespace fakejob
