// Stand-in for the USER32 message queue: one queue for the program's single
// thread. PeekMessageA takes at most one message per call and polls the window
// system only when the queue is empty; WM_QUIT is made by PostQuitMessage and
// retrieved only once no other message waits. SendMessageA calls the window
// procedure directly.
// Left out: message filters (PeekMessageA takes every message), GetMessage's
// blocking wait, timers, WM_PAINT, and queues of other threads. A close request
// a signal made (signals.cpp) is posted when the queue is next looked at.
#include "gui.h"

#include <deque>

namespace {

std::deque<MSG>& Queue() {
    static std::deque<MSG> queue;
    return queue;
}

bool quitPosted = false;
int quitCode = 0;

} // namespace

void QueueMessage(const MSG& msg, bool front) {
    if (front)
        Queue().push_front(msg);
    else
        Queue().push_back(msg);
}

BOOL PeekMessageA(LPMSG lpMsg, HWND, UINT, UINT, UINT wRemoveMsg) {
    PostCloseOnSignal();
    if (Queue().empty())
        PollWindowSystem();
    if (!Queue().empty()) {
        *lpMsg = Queue().front();
        if (wRemoveMsg & PM_REMOVE)
            Queue().pop_front();
        return TRUE;
    }
    if (quitPosted) {
        MSG quit = {};
        quit.message = WM_QUIT;
        quit.wParam = static_cast<WPARAM>(quitCode);
        quit.time = GetTickCount();
        *lpMsg = quit;
        if (wRemoveMsg & PM_REMOVE)
            quitPosted = false;
        return TRUE;
    }
    return FALSE;
}

BOOL TranslateMessage(const MSG* lpMsg) {
    if (!lpMsg)
        return FALSE;
    UINT m = lpMsg->message;
    if (m == WM_KEYUP || m == WM_SYSKEYUP)
        return TRUE;
    if (m != WM_KEYDOWN && m != WM_SYSKEYDOWN)
        return FALSE;
    char c = CharacterOf(static_cast<UINT>(lpMsg->wParam), ShiftHeld());
    if (c) {
        MSG ch = *lpMsg;
        ch.message = m == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
        ch.wParam = static_cast<unsigned char>(c);
        QueueMessage(ch, true);
    }
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* lpMsg) {
    if (!lpMsg)
        return 0;
    HWND h = LiveWindow(lpMsg->hwnd);
    return h ? h->proc(h, lpMsg->message, lpMsg->wParam, lpMsg->lParam) : 0;
}

void PostQuitMessage(int nExitCode) {
    quitPosted = true;
    quitCode = nExitCode;
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd && !LiveWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    MSG msg = {};
    msg.hwnd = hWnd;
    msg.message = Msg;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    QueueMessage(msg, false);
    return TRUE;
}

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    HWND h = LiveWindow(hWnd);
    return h ? h->proc(h, Msg, wParam, lParam) : 0;
}
