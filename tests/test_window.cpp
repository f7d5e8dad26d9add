// The window procedure through the platform's message queue, with real key
// presses and close requests from the X server.
#include "support/Device.h"
#include "support/Gui.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <vector>

LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

std::vector<UINT> seen;

// Records what reaches the window, then hands it to the program's procedure.
LRESULT CALLBACK Recorder(HWND h, UINT m, WPARAM w, LPARAM l) {
    seen.push_back(m);
    return WndProc(h, m, w, l);
}

// Runs the program's loop until WM_QUIT or the time is up; true on a quit
// with code 0.
bool QuitsWithZero(int waitMs) {
    double until = NowMs() + waitMs;
    MSG msg;
    while (NowMs() < until) {
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return msg.wParam == 0;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            Sleep(1);
        }
    }
    return false;
}

bool Saw(UINT m) {
    for (UINT s : seen)
        if (s == m)
            return true;
    return false;
}

TEST(Window, EscapeCloseRequestAndAltF4EachQuitWithZero) {
    std::string title = "window test " + std::to_string(getpid());
    GlWindow win(title, Recorder);
    ASSERT_TRUE(Saw(WM_CREATE)) << "WM_CREATE comes before CreateWindowExA returns";
    EXPECT_EQ(seen.front(), static_cast<UINT>(WM_CREATE));
    unsigned long xw = FindWindowByPid(getpid());
    ASSERT_NE(xw, 0ul);

    // Other keys, creation and destruction are answered 0 and quit nothing.
    EXPECT_EQ(WndProc(win.hWnd, WM_KEYDOWN, 'A', 0), 0);
    EXPECT_EQ(WndProc(win.hWnd, WM_KEYDOWN, VK_F4, 0), 0);
    EXPECT_EQ(WndProc(win.hWnd, WM_CREATE, 0, 0), 0);
    EXPECT_EQ(WndProc(win.hWnd, WM_DESTROY, 0, 0), 0);
    SendKeys(xw, "a space Return");
    EXPECT_FALSE(QuitsWithZero(400));
    EXPECT_TRUE(Saw(WM_KEYDOWN));
    EXPECT_TRUE(Saw(WM_CHAR)) << "TranslateMessage makes characters";

    seen.clear();
    SendKeys(xw, "Escape");
    EXPECT_TRUE(QuitsWithZero(3000)) << "Escape";
    EXPECT_NE(GetDC(win.hWnd), nullptr) << "the window stays until the loop destroys it";

    seen.clear();
    SendCloseRequest(xw);
    EXPECT_TRUE(QuitsWithZero(3000)) << "close request";
    EXPECT_TRUE(Saw(WM_CLOSE));
    EXPECT_NE(GetDC(win.hWnd), nullptr);

    seen.clear();
    SendKeys(xw, "alt+F4");
    EXPECT_TRUE(QuitsWithZero(3000)) << "Alt+F4";
    EXPECT_TRUE(Saw(WM_SYSKEYDOWN));
    EXPECT_TRUE(Saw(WM_CLOSE));
    EXPECT_NE(GetDC(win.hWnd), nullptr);

    PostMessageA(win.hWnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(QuitsWithZero(1000)) << "a posted WM_CLOSE";
}

TEST(Window, QuitComesOnlyAfterOtherPostedMessages) {
    GlWindow win("queue test " + std::to_string(getpid()), Recorder);
    PostQuitMessage(7);
    PostMessageA(win.hWnd, WM_KEYUP, 'A', 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYUP));
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));

    seen.clear();
    DestroyWindow(win.hWnd);
    EXPECT_TRUE(Saw(WM_DESTROY));
    win.hWnd = nullptr;
}

} // namespace
