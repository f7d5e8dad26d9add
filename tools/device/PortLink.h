// The device's side of a serial port: a pseudo-terminal, and the link that
// names its other side as a COM port, as rangescan finds COMn.
#pragma once

#include "tools/device/Options.h"

#include <string>
#include <vector>

// The options that place a device's link: --port COMn, --link PATH, --force.
struct PortLinkOptions {
    std::string port = "COM6", link;
    bool force = false;
};
// Their rows for a tool's table, with the help of --port and of --link.
std::vector<OptionRow> PortLinkOptionRows(PortLinkOptions& o, const std::string& portHelp,
                                          const std::string& linkHelp);

// Where COMn is linked: the link given, or comN in the ports folder (the one
// the program looks in: platform/posix/ports.h).
std::string PortLinkPath(const std::string& port, const std::string& link);

// A link this tool serves, and its mark (LINK.lock), held while the tool runs:
// once the tool has gone, however it went, the program takes the link left
// behind for a missing port rather than open whatever now has that name.
struct PlacedLink {
    std::string link, target;
    int mark = -1;
};
// Links `target` at `link`, replacing a dangling link or one a gone tool left.
// A link to a live device, or one a running tool serves, is replaced only
// with `force`; a file or folder that is no link, never.
PlacedLink PlaceLink(const std::string& link, const std::string& target, bool force);
// Removes the link if it still points at its target, and its mark.
void RemoveLink(PlacedLink& l);

struct DevicePty {
    int master = -1; // the device's side, non-blocking
    int slave = -1;  // a copy of the host's side, held by the device
    std::string slavePath;
};
// A pseudo-terminal in raw mode at 9600 baud (so that a host configuring the
// line shows as a change), whose host side is the controlling terminal of a
// session of its own, held by a helper process for as long as this one runs:
// no other process that opens it (Wine's server, for one) can take it as its
// own, and be hung up when the device side closes. The tool itself stays in
// the session and process group it was started in, so that Ctrl+C in its
// terminal reaches it.
DevicePty OpenDevicePty();
