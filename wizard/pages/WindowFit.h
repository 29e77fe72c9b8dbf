#pragma once

#include <QSize>
#include <QWizard>

// Sizes the wizard window for its pages and the screen, and draws the
// background picture filling the column the Mac style keeps for it.
//
// The pages are made for the designed size at a desktop's usual font. With a
// larger font (or a scale factor that leaves less room on the screen) the
// fixed size grows to the widest line that cannot wrap and to the tallest page
// at that width, the same for every page, but never beyond the screen's
// available area less the window manager's frame. Where the pages need more
// than that, the picture column narrows first, which gives the text more
// width and so fewer lines; then the text area scrolls.
void fitWindowToPagesAndScreen(QWizard& wizard, QSize designedSize);
