// Test helpers for the window side: a GL window made through the Win32 calls,
// and the X windows the tests find, read back and send input to. The program
// under test is Program.h's.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A window of the given class procedure with a current GL context, made with
// the same calls the program makes.
struct GlWindow {
    HWND hWnd = nullptr;
    HDC hDC = nullptr;
    HGLRC hRC = nullptr;
    GlWindow(const std::string& title, WNDPROC proc);
    ~GlWindow();
};

struct Rgb {
    int r, g, b;
};

// What an X window shows, top row first.
std::vector<Rgb> CaptureWindow(unsigned long window, int* width, int* height);
// The class an X window gives (WM_CLASS), by which desktops tie it to its entry.
std::string WindowClassName(unsigned long window);
// The X window of a process, or of a title.
unsigned long FindWindowByPid(int pid);
unsigned long FindWindowByName(const char* name);
// Sends keys as xdotool names them ("Escape", "alt+F4") to the window.
void SendKeys(unsigned long window, const char* keys);
// A close request, as a window manager sends it: WM_PROTOCOLS/WM_DELETE_WINDOW.
void SendCloseRequest(unsigned long window);
