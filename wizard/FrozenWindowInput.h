#pragma once

// While the GUI thread is blocked, the window system keeps the keys and clicks
// that the user gives the frozen window. Delivered afterwards they would act on
// whatever page is shown by then, which the user has not even seen yet; so this
// takes in everything that is waiting and drops the keyboard and mouse input.
// Paint and all other events are delivered as usual.
void discardInputGivenWhileFrozen();
