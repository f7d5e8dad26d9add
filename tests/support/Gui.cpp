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

#ifndef FAKETIME_LIBRARY
#define FAKETIME_LIBRARY "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
#endif
#ifndef RANGESCAN_PROGRAM
#error "RANGESCAN_PROGRAM must name the program binary"
#endif

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

bool ProgramUnderWine() {
    return getenv("RANGESCAN_WINE_PROGRAM") != nullptr;
}

ProgramProcess::ProgramProcess(bool fast) {
    UsePrivatePortsFolder();
    outPath = UsePrivatePortsFolder() + "/program.out." + std::to_string(NowMs());
    startedMs = NowMs();
    pid = fork();
    if (pid == 0) {
        setpgid(0, 0); // Wine's processes go with it
        int fd = open(outPath.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        dup2(fd, 1);
        if (ProgramUnderWine()) {
            // faketime does not reach into Wine: the Windows program runs in real time.
            const char* run = getenv("RANGESCAN_WINE_RUN");
            execl(run, run, getenv("RANGESCAN_WINE_PROGRAM"), (char*)nullptr);
            _exit(127);
        }
        if (fast) {
            // libfaketime preloaded straight into the program, which keeps its pid.
            setenv("LD_PRELOAD", FAKETIME_LIBRARY, 1);
            setenv("FAKETIME", "+0 x10", 1);
            const char* asan = getenv("ASAN_OPTIONS");
            std::string opts = std::string(asan ? asan : "") + ":verify_asan_link_order=0";
            setenv("ASAN_OPTIONS", opts.c_str(), 1);
        }
        // The built program, or another build of it (an installed package's).
        const char* program = getenv("RANGESCAN_PROGRAM");
        if (!program)
            program = RANGESCAN_PROGRAM;
        execl(program, program, (char*)nullptr);
        _exit(127);
    }
    setpgid(pid, pid); // whichever of the two runs first
    EndAtExit(-pid);
}

ProgramProcess::~ProgramProcess() {
    if (pid > 0) {
        kill(-pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        ForgetAtExit(-pid);
    }
}

bool ProgramProcess::WaitExit(int waitMs, int* code) {
    double until = NowMs() + waitMs;
    while (pid > 0) {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            ForgetAtExit(-pid);
            pid = -1;
            *code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        }
        if (NowMs() > until)
            return false;
        usleep(5000);
    }
    return false;
}

std::string ProgramProcess::Output() {
    std::ifstream in(outPath);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

unsigned long ProgramProcess::Window(int waitMs) {
    if (waitMs < 0)
        waitMs = ProgramUnderWine() ? 90000 : 5000;
    double until = NowMs() + waitMs;
    do {
        // A Wine process's window carries the pid of Wine's own process.
        unsigned long w =
            ProgramUnderWine() ? FindWindowByName("OpenGL Sample") : FindWindowByPid(pid);
        if (w)
            return w;
        usleep(20000);
    } while (NowMs() < until);
    return 0;
}

bool ProgramProcess::WindowGone(int waitMs) {
    double until = NowMs() + waitMs;
    while (Window(0) != 0) {
        if (NowMs() > until)
            return false;
        usleep(5000);
    }
    return true;
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

bool WaitForCommands(SimProcess& sim, size_t count, int waitMs) {
    double until = NowMs() + waitMs;
    while (sim.Commands().size() < count) {
        if (NowMs() > until)
            return false;
        usleep(20000);
    }
    return true;
}

// Well under the 2000 ms a port open waits. Without a window manager Wine's
// DestroyWindow waits 2 s for the X window to be withdrawn
// ("wait_for_withdrawn_state ... timed out").
double AnswerBoundMs() {
    return ProgramUnderWine() ? 1500.0 + 2100.0 : 1500.0;
}

double TickStepMs() {
    return ProgramUnderWine() ? 16.0 : 0.5;
}

std::vector<std::string> LineFor(bool fast) {
    if (fast && !ProgramUnderWine())
        return {"--line", "whole"};
    return {};
}

bool PortIsFree() {
    const char* wineLink = getenv("RANGESCAN_COM6_LINK");
    HANDLE h = CreateFileA(wineLink ? wineLink : "COM6", GENERIC_READ | GENERIC_WRITE, 0, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
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
