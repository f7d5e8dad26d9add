#include "Gui.h"
#include "Device.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

GlWindow::GlWindow(const std::string& title, WNDPROC proc) {
    static int classes = 0;
    std::string cls = "TestClass" + std::to_string(++classes);
    WNDCLASSA wc = {};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = cls.c_str();
    RegisterClassA(&wc);
    hWnd = CreateWindowExA(0, cls.c_str(), title.c_str(), WS_CAPTION | WS_POPUPWINDOW | WS_VISIBLE,
                           0, 0, 512, 512, NULL, NULL, NULL, NULL);
    if (!hWnd)
        throw std::runtime_error("no window: is DISPLAY set to a running X server?");
    hDC = GetDC(hWnd);
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 32;
    SetPixelFormat(hDC, ChoosePixelFormat(hDC, &pfd), &pfd);
    hRC = wglCreateContext(hDC);
    wglMakeCurrent(hDC, hRC);
}

GlWindow::~GlWindow() {
    wglMakeCurrent(NULL, NULL);
    wglDeleteContext(hRC);
    ReleaseDC(hWnd, hDC);
    DestroyWindow(hWnd);
}

// Windows come and go while the tests search and read them (Wine makes and
// drops windows of its own): a request about one that has just gone fails
// with BadWindow. That is no fault; the request's own result says it failed.
// Xlib's default handler would instead end the test process on the spot.
static XErrorHandler otherXErrors;

static int IgnoreGoneWindow(Display* d, XErrorEvent* e) {
    if (e->error_code == BadWindow || e->error_code == BadDrawable)
        return 0;
    return otherXErrors ? otherXErrors(d, e) : 0;
}

static Display* Dpy() {
    static Display* d = nullptr;
    if (!d) {
        d = XOpenDisplay(nullptr);
        if (!d)
            throw std::runtime_error("cannot open the X display");
        otherXErrors = XSetErrorHandler(IgnoreGoneWindow);
    }
    return d;
}

// The first viewable window below `w` that `match` accepts.
template <typename Match> static unsigned long Search(Display* d, Window w, Match match) {
    XWindowAttributes a;
    if (match(d, w) && XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable)
        return w;
    Window root, parent, *kids = nullptr;
    unsigned int count = 0;
    unsigned long found = 0;
    if (XQueryTree(d, w, &root, &parent, &kids, &count)) {
        for (unsigned int i = 0; i < count && !found; i++)
            found = Search(d, kids[i], match);
        if (kids)
            XFree(kids);
    }
    return found;
}

unsigned long FindWindowByPid(int pid) {
    Display* d = Dpy();
    Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
    return Search(d, DefaultRootWindow(d), [&](Display* d, Window w) {
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char* data = nullptr;
        long got = -1;
        if (XGetWindowProperty(d, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &n, &after,
                               &data) == Success &&
            data) {
            got = n ? *reinterpret_cast<long*>(data) : -1;
            XFree(data);
        }
        return got == pid;
    });
}

unsigned long FindWindowByName(const char* name) {
    Display* d = Dpy();
    return Search(d, DefaultRootWindow(d), [&](Display* d, Window w) {
        char* got = nullptr;
        bool same = XFetchName(d, w, &got) && got && strcmp(got, name) == 0;
        if (got)
            XFree(got);
        return same;
    });
}

std::vector<Rgb> CaptureWindow(unsigned long window, int* width, int* height) {
    Display* d = Dpy();
    XWindowAttributes a;
    std::vector<Rgb> px;
    *width = *height = 0; // nothing captured: the window is gone
    if (!XGetWindowAttributes(d, window, &a))
        return px;
    XImage* img = XGetImage(d, window, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
    if (!img)
        return px;
    for (int y = 0; y < a.height; y++)
        for (int x = 0; x < a.width; x++) {
            unsigned long p = XGetPixel(img, x, y);
            px.push_back({int((p >> 16) & 255), int((p >> 8) & 255), int(p & 255)});
        }
    XDestroyImage(img);
    *width = a.width;
    *height = a.height;
    return px;
}

void SendKeys(unsigned long window, const char* keys) {
    // A window that closes on the key press is gone before the key's release,
    // which then fails and can leave the key held down in the X server, where
    // it repeats into the next window: release the keys again, whatever happened.
    // Wine takes keys only in the window that has the focus (there is no window
    // manager to give it): point at the window and focus it first.
    std::string w = std::to_string(window);
    std::string cmd = "xdotool mousemove --window " + w + " 20 20 windowfocus " + w +
                      " 2>/dev/null; xdotool key --window " + w + " " + keys +
                      " 2>/dev/null; xdotool keyup " + keys + " 2>/dev/null";
    if (system(cmd.c_str()) == -1)
        throw std::runtime_error("cannot run xdotool");
}

void SendCloseRequest(unsigned long window) {
    Display* d = Dpy();
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &e);
    XFlush(d);
}

std::string WindowClassName(unsigned long window) {
    Display* d = XOpenDisplay(nullptr);
    std::string name;
    XClassHint hint = {nullptr, nullptr};
    if (d && XGetClassHint(d, window, &hint)) {
        name = hint.res_class ? hint.res_class : "";
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    if (d)
        XCloseDisplay(d);
    return name;
}
