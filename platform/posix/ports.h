// The ports folder, where "COMn" is the link comN, and the mark a device tool
// keeps beside the link it serves, so that its link opens nothing once the tool
// has gone. Shared by the stand-in's CreateFileA and the device tools
// (tools/device/PortLink.cpp); needs no Win32 header.
#pragma once

#include <string>

// $XDG_CONFIG_HOME/rangescan/ports, or ~/.config/rangescan/ports, home being
// $HOME or, where that is unset, the account's home in the password database.
std::string PortsFolder();

// A tool's mark on the link it serves: LINK.lock, held locked (flock) for as
// long as the tool runs, and naming the link as the tool made it. The kernel
// lets go of the lock however the tool ends, so a mark nobody holds is the
// mark of a tool that has gone.
std::string LinkMarkPath(const std::string& link);

// The serving side. Takes the mark of `link` (creating it): the open, locked
// mark, or -1 with errno EWOULDBLOCK when a running tool holds it.
int TakeLinkMark(const std::string& link);
// Records `link` as it stands now (placed by the holder of `mark`).
void RecordLinkInMark(int mark, const std::string& link);
// Removes the mark if it is still the one `mark` holds, and lets it go.
void DropLinkMark(int mark, const std::string& link);

// The opening side. True when `link` is the very link a tool made and that
// tool no longer runs: whatever it points at now is not that tool's device.
// A link made any other way (by hand, by socat) is never such a link.
bool LinkOfAGoneTool(const std::string& link);
