#include "WindowSystemTime.h"

// The close button belongs to the window itself here, and AppKit hands its
// click over in order with the rest of the input that the run held back; no
// window manager stands between them that could deliver it late. The short
// refusal after the page appears is all that is needed.

std::optional<std::uint32_t> windowSystemTimeNow()
{
    return std::nullopt;
}

std::shared_ptr<void> filterTimedCloseRequests(const QWidget&, std::function<bool(std::uint32_t)>)
{
    return nullptr;
}
