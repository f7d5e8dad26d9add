// Stand-in for the pixel-format calls of GDI32 and the WGL calls of OPENGL32,
// on the GL context GLFW makes with each window. A new context swaps with
// interval 1, as WGL's default is.
// Left out: choosing among pixel formats (there is one: double-buffered RGBA
// with a depth buffer, and a request for anything else gets format 0), more
// than one context per window, and sharing between contexts.
#include "gui.h"

int ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* ppfd) {
    if (!hdc || !ppfd || !LiveWindow(hdc->wnd))
        return 0;
    DWORD need = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    if ((ppfd->dwFlags & need) != need || ppfd->iPixelType != PFD_TYPE_RGBA)
        return 0;
    return 1;
}

BOOL SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR*) {
    if (!hdc || !LiveWindow(hdc->wnd) || format != 1 || hdc->pixelFormat != 0) {
        SetLastError(ERROR_INVALID_PARAMETER); // a window's format is set once
        return FALSE;
    }
    hdc->pixelFormat = format;
    return TRUE;
}

HGLRC wglCreateContext(HDC hdc) {
    if (!hdc || !LiveWindow(hdc->wnd) || hdc->pixelFormat == 0) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return nullptr;
    }
    return new HGLRC__{hdc->wnd, false};
}

BOOL wglMakeCurrent(HDC hdc, HGLRC hglrc) {
    if (!hglrc) {
        glfwMakeContextCurrent(nullptr);
        return TRUE;
    }
    if (!hdc || hdc->wnd != hglrc->wnd || !LiveWindow(hdc->wnd)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    glfwMakeContextCurrent(hdc->wnd->glfw);
    if (!hglrc->madeCurrent) {
        glfwSwapInterval(1);
        hglrc->madeCurrent = true;
    }
    return TRUE;
}

BOOL wglDeleteContext(HGLRC hglrc) {
    if (!hglrc)
        return FALSE;
    if (LiveWindow(hglrc->wnd) && glfwGetCurrentContext() == hglrc->wnd->glfw)
        glfwMakeContextCurrent(nullptr);
    delete hglrc;
    return TRUE;
}

BOOL SwapBuffers(HDC hdc) {
    if (!hdc || !LiveWindow(hdc->wnd))
        return FALSE;
    glfwSwapBuffers(hdc->wnd->glfw);
    return TRUE;
}
