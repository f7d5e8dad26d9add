// The stand-in's error texts. Internal to platform/posix.
#pragma once

#include <windows.h>

// Fails the calling Win32 call for the window system's reason `why`: sets the
// last error, whose FormatMessageA text is then `why`.
void FailForWindowSystem(const char* why);
