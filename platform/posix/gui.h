// The stand-in's windows, device contexts and GL contexts, on GLFW. Internal to
// platform/posix.
#pragma once

#include <windows.h>

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

struct HWND__ {
    GLFWwindow* glfw;
    WNDPROC proc;
    HDC dc;
    bool destroyed;
};

struct HDC__ {
    HWND wnd;
    int pixelFormat;
};

struct HGLRC__ {
    HWND wnd;
    bool madeCurrent;
};

// The window behind a handle, or null when it is not a live window.
HWND LiveWindow(HWND h);

// Adds a message to the end of the queue, or, for the characters that
// TranslateMessage makes, to its front, so that they come next.
void QueueMessage(const MSG& msg, bool front);

// Polls the window system for input, which the callbacks turn into messages.
void PollWindowSystem();

// The Windows virtual-key code for a GLFW key, or 0 for a key it leaves out.
UINT VirtualKeyOf(int glfwKey);
// The character a key-down of `vk` types, or 0.
char CharacterOf(UINT vk, bool shift);
// Whether a Shift key is held, as the last key event left it.
bool ShiftHeld();

// Posts WM_CLOSE to every live window.
void PostCloseToEveryWindow();
// From now on SIGTERM, SIGINT and SIGHUP ask the program's windows to close.
void CatchCloseSignals();
// Posts the close request a signal asked for since the last look, if any.
void PostCloseOnSignal();
