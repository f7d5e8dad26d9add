// The device's side of a serial port: a pseudo-terminal, and the link that
// names its other side as a COM port, as rangescan finds COMn.
#pragma once

#include <string>

// The options that place a device's link: --port COMn, --link PATH, --force.
struct PortLinkOptions {
    std::string port = "COM6", link;
    bool force = false;
};
// Takes the option at argv[*i] (and its value) when it is one of those;
// false for any other.
bool TakePortLinkOption(PortLinkOptions& o, int argc, char** argv, int* i);

// Where COMn is linked: the link given, or comN in the ports folder
// ($XDG_CONFIG_HOME/rangescan/ports, ~/.config/rangescan/ports).
std::string PortLinkPath(const std::string& port, const std::string& link);
// Links `target` at `link`, replacing a stale link; a link to a live device is
// replaced only with `force`.
void PlaceLink(const std::string& link, const std::string& target, bool force);
// Removes `link` if it still points at `target`.
void RemoveLink(const std::string& link, const std::string& target);

struct DevicePty {
    int master = -1; // the device's side, non-blocking
    int slave = -1;  // a copy of the host's side, held by the device
    std::string slavePath;
};
// A pseudo-terminal in raw mode at 9600 baud (so that a host configuring the
// line shows as a change), whose host side is this process's controlling
// terminal: no other process that opens it (Wine's server, for one) can take
// it as its own, and be hung up when the device side closes.
DevicePty OpenDevicePty();
