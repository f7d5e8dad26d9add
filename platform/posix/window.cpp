// Stand-in for the USER32 and GDI32 window calls: window classes, one GLFW
// window per CreateWindowExA, the default window procedure, device contexts,
// stock objects. WM_CREATE reaches the window procedure before CreateWindowExA
// returns; a close request from the window system arrives as Windows sends it,
// WM_SYSCOMMAND/SC_CLOSE, which the default procedure turns into WM_CLOSE; keys
// are posted as WM_KEYDOWN/WM_KEYUP, or WM_SYSKEYDOWN/WM_SYSKEYUP while Alt is held.
// Left out: child windows, menus, painting (WM_PAINT, brushes), icons and
// cursors (their handles are tokens), window extra bytes, and every message
// beyond those named here.
#include "errors.h"
#include "gui.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

struct WindowClass {
    std::string name;
    WNDCLASSA wc;
};

std::vector<WindowClass>& Classes() {
    static std::vector<WindowClass> classes;
    return classes;
}

std::set<HWND>& Windows() {
    static std::set<HWND> windows;
    return windows;
}

bool glfwReady = false;
bool shiftHeld = false;
int pollDepth = 0;
std::vector<HWND> destroyAfterPoll; // GLFW windows cannot go inside its callbacks

// While a window is being made, GLFW's complaint is the reason it could not
// be (CreateWindowExA fails with it); at other times it is printed.
bool creating = false;
std::string refusal;

void OnError(int code, const char* text) {
    if (creating)
        refusal = text ? text : "";
    else
        fprintf(stderr, "GLFW error %d: %s\n", code, text);
}

HWND Refused() {
    creating = false;
    FailForWindowSystem(refusal.empty() ? "the window system refused the window" : refusal.c_str());
    return nullptr;
}

HWND WindowOf(GLFWwindow* w) {
    return static_cast<HWND>(glfwGetWindowUserPointer(w));
}

void OnKey(GLFWwindow* w, int key, int scancode, int action, int mods) {
    HWND h = WindowOf(w);
    UINT vk = VirtualKeyOf(key);
    if (!h || vk == 0)
        return;
    if (vk == VK_SHIFT)
        shiftHeld = action != GLFW_RELEASE;
    bool alt = (mods & GLFW_MOD_ALT) || (vk == VK_MENU && action != GLFW_RELEASE);
    bool sys = (alt && !(mods & GLFW_MOD_CONTROL)) || vk == VK_MENU || vk == VK_F10;
    bool up = action == GLFW_RELEASE;
    MSG msg = {};
    msg.hwnd = h;
    msg.message = up ? (sys ? WM_SYSKEYUP : WM_KEYUP) : (sys ? WM_SYSKEYDOWN : WM_KEYDOWN);
    msg.wParam = vk;
    LPARAM lp = 1 | (static_cast<LPARAM>(scancode & 0xFF) << 16);
    if (alt)
        lp |= 1L << 29;
    if (up || action == GLFW_REPEAT)
        lp |= 1L << 30;
    if (up)
        lp |= 1L << 31;
    msg.lParam = lp;
    msg.time = GetTickCount();
    QueueMessage(msg, false);
}

void OnClose(GLFWwindow* w) {
    glfwSetWindowShouldClose(w, GLFW_FALSE); // the window procedure decides
    if (HWND h = WindowOf(w))
        SendMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool EnsureGlfw() {
    if (!glfwReady) {
        glfwSetErrorCallback(OnError);
        glfwReady = glfwInit() == GLFW_TRUE;
    }
    return glfwReady;
}

void ReallyDestroy(HWND h) {
    glfwDestroyWindow(h->glfw);
    delete h->dc;
    delete h;
}

} // namespace

HWND LiveWindow(HWND h) {
    return (h && Windows().count(h) && !h->destroyed) ? h : nullptr;
}

bool ShiftHeld() {
    return shiftHeld;
}

void PollWindowSystem() {
    if (!glfwReady)
        return;
    pollDepth++;
    glfwPollEvents();
    pollDepth--;
    if (pollDepth == 0) {
        for (HWND h : destroyAfterPoll)
            ReallyDestroy(h);
        destroyAfterPoll.clear();
    }
}

void PostCloseToEveryWindow() {
    for (HWND h : Windows())
        if (LiveWindow(h))
            PostMessageA(h, WM_CLOSE, 0, 0);
}

ATOM RegisterClassA(const WNDCLASSA* lpWndClass) {
    if (!lpWndClass || !lpWndClass->lpszClassName || !lpWndClass->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (const WindowClass& c : Classes())
        if (strcasecmp(c.name.c_str(), lpWndClass->lpszClassName) == 0) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    Classes().push_back({lpWndClass->lpszClassName, *lpWndClass});
    return static_cast<ATOM>(0xC000 + Classes().size());
}

// The GLFW window of a window of style `style` and class `className`, at
// (x, y) with the outer size given; null when GLFW refuses it.
static GLFWwindow* MakeGlfwWindow(DWORD style, const char* className, LPCSTR name, int x, int y,
                                  int width, int height) {
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE); // shown after WM_CREATE, as Windows does
    glfwWindowHint(GLFW_RESIZABLE, (style & WS_THICKFRAME) ? GLFW_TRUE : GLFW_FALSE);
    glfwWindowHint(GLFW_DECORATED, (style & WS_CAPTION) == WS_CAPTION ? GLFW_TRUE : GLFW_FALSE);
    glfwWindowHint(GLFW_DOUBLEBUFFER, GLFW_TRUE);
    glfwWindowHint(GLFW_DEPTH_BITS, 24);
    // The window class names the X window's class (WM_CLASS), by which a
    // desktop ties the window to its desktop entry (StartupWMClass).
    glfwWindowHintString(GLFW_X11_CLASS_NAME, className);
    glfwWindowHintString(GLFW_X11_INSTANCE_NAME, className);
    GLFWwindow* g = glfwCreateWindow(width, height, name ? name : "", nullptr, nullptr);
    if (!g)
        return nullptr;
    // The size given is the outer size: the client area is what the frame leaves.
    int left = 0, top = 0, right = 0, bottom = 0;
    glfwGetWindowFrameSize(g, &left, &top, &right, &bottom);
    int cw = width - left - right, ch = height - top - bottom;
    if (cw > 0 && ch > 0 && (cw != width || ch != height))
        glfwSetWindowSize(g, cw, ch);
    glfwSetWindowPos(g, x + left, y + top);
    return g;
}

HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X,
                     int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                     HINSTANCE hInstance, LPVOID lpParam) {
    const WNDCLASSA* wc = nullptr;
    const char* className = nullptr;
    for (const WindowClass& c : Classes())
        if (lpClassName && strcasecmp(c.name.c_str(), lpClassName) == 0) {
            wc = &c.wc;
            className = c.name.c_str();
        }
    if (!wc) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (nWidth <= 0 || nHeight <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    creating = true;
    refusal.clear();
    if (!EnsureGlfw())
        return Refused();
    GLFWwindow* g = MakeGlfwWindow(dwStyle, className, lpWindowName, X, Y, nWidth, nHeight);
    if (!g)
        return Refused();
    creating = false;

    HWND h = new HWND__{g, wc->lpfnWndProc, nullptr, false};
    h->dc = new HDC__{h, 0};
    Windows().insert(h);
    glfwSetWindowUserPointer(g, h);
    glfwSetKeyCallback(g, OnKey);
    glfwSetWindowCloseCallback(g, OnClose);

    CREATESTRUCTA cs = {lpParam,
                        hInstance,
                        hMenu,
                        hWndParent,
                        nHeight,
                        nWidth,
                        Y,
                        X,
                        static_cast<LONG>(dwStyle),
                        lpWindowName,
                        lpClassName,
                        dwExStyle};
    if (h->proc(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(h);
        SetLastError(ERROR_GEN_FAILURE);
        return nullptr;
    }
    if (dwStyle & WS_VISIBLE)
        glfwShowWindow(g);
    return h;
}

BOOL DestroyWindow(HWND hWnd) {
    HWND h = LiveWindow(hWnd);
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    h->proc(h, WM_DESTROY, 0, 0);
    h->destroyed = true;
    Windows().erase(h);
    if (pollDepth > 0) {
        glfwHideWindow(h->glfw);
        destroyAfterPoll.push_back(h);
    } else {
        ReallyDestroy(h);
    }
    return TRUE;
}

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & (1L << 29))) // Alt+F4 closes through the system menu
            SendMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            SendMessageA(hWnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    default:
        return 0;
    }
}

HICON LoadIconA(HINSTANCE, LPCSTR lpIconName) {
    return reinterpret_cast<HICON>(const_cast<char*>(lpIconName));
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR lpCursorName) {
    return reinterpret_cast<HCURSOR>(const_cast<char*>(lpCursorName));
}

HGDIOBJ GetStockObject(int i) {
    static int stock[32];
    return (i >= 0 && i < 32) ? &stock[i] : nullptr;
}

HDC GetDC(HWND hWnd) {
    HWND h = LiveWindow(hWnd);
    return h ? h->dc : nullptr;
}

int ReleaseDC(HWND hWnd, HDC hDC) {
    HWND h = LiveWindow(hWnd);
    return (h && h->dc == hDC) ? 1 : 0;
}
