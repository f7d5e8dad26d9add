// rangescan: drives the range scanner on COM6 through a serpentine raster and
// shows the readings live as a green-to-red map in an OpenGL window, until
// Escape or a close request.
#include <windows.h>

#include <GL/gl.h>
#include <stdio.h>
#include <string.h>

#include "SerialClass.h"
#include "render/Surface.h"
#include "scan/Acquire.h"
#include "scan/ScanState.h"

LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
void EnableOpenGL(HWND hWnd, HDC* hDC, HGLRC* hRC);
void DisableOpenGL(HWND hWnd, HDC hDC, HGLRC hRC);
static void RegisterMapClass(HINSTANCE hInstance);
static int NoWindow(const char* what);

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int iCmdShow) {
    (void)hPrevInstance;
    (void)lpCmdLine;
    (void)iCmdShow;

    HWND hWnd;
    HDC hDC;
    HGLRC hRC;
    MSG msg;
    BOOL bQuit = FALSE;
    ScanState scan;

    RegisterMapClass(hInstance);

    hWnd = CreateWindowExA(0, "GLSample", "OpenGL Sample", WS_CAPTION | WS_POPUPWINDOW | WS_VISIBLE,
                           0, 0, 512, 512, NULL, NULL, hInstance, NULL);

    // With no window there is nothing to show the scan in, and no way to end
    // it: say why and end, before the port is taken.
    if (hWnd == NULL)
        return NoWindow("its window");
    EnableOpenGL(hWnd, &hDC, &hRC);
    if (hRC == NULL) {
        int code = NoWindow("an OpenGL context for its window");
        DestroyWindow(hWnd);
        return code;
    }

    Serial* serial = new Serial("COM6");

    InitScanState(scan, GetTickCount());

    while (!bQuit) {
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                bQuit = TRUE;
            } else {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        } else {
            DrawSurface(scan, hDC);
            if (TickDue(scan, GetTickCount()))
                AcquireSample(scan, *serial);
            Sleep(1);
        }
    }

    delete serial;
    DisableOpenGL(hWnd, hDC, hRC);
    DestroyWindow(hWnd);

    return (int)msg.wParam;
}

// Registers the class of the map's window: one device context of its own
// (which GL draws in), a black background.
static void RegisterMapClass(HINSTANCE hInstance) {
    WNDCLASSA wc;
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = WndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(NULL, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpszMenuName = NULL;
    // The Linux desktop entry ties the window to itself by the class name
    // (StartupWMClass), and the tests find the window by its title.
    wc.lpszClassName = "GLSample";
    RegisterClassA(&wc);
}

// Says on standard error, in one line, that `what` could not be made and why
// (the system's text for the last error); the program's exit code for it.
static int NoWindow(const char* what) {
    DWORD code = GetLastError();
    char why[512];
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code, 0,
                       why, sizeof why, NULL) == 0)
        snprintf(why, sizeof why, "error %lu", (unsigned long)code);
    why[strcspn(why, "\r\n")] = 0;
    fprintf(stderr, "rangescan: cannot make %s: %s\n", what, why);
    fflush(stderr);
    return 1;
}

LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return 0;
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    case WM_DESTROY:
        return 0;
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_ESCAPE:
            PostQuitMessage(0);
            return 0;
        }
        return 0;
    default:
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

void EnableOpenGL(HWND hWnd, HDC* hDC, HGLRC* hRC) {
    PIXELFORMATDESCRIPTOR pfd;
    int iFormat;

    *hDC = GetDC(hWnd);

    ZeroMemory(&pfd, sizeof(pfd));
    pfd.nSize = sizeof(pfd);
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 32;
    pfd.iLayerType = PFD_MAIN_PLANE;
    iFormat = ChoosePixelFormat(*hDC, &pfd);
    SetPixelFormat(*hDC, iFormat, &pfd);

    *hRC = wglCreateContext(*hDC);
    wglMakeCurrent(*hDC, *hRC);
}

void DisableOpenGL(HWND hWnd, HDC hDC, HGLRC hRC) {
    wglMakeCurrent(NULL, NULL);
    wglDeleteContext(hRC);
    ReleaseDC(hWnd, hDC);
}
