// Stand-in for the KERNEL32 communications calls: GetCommState and SetCommState
// (a DCB mapped to termios and back), ClearCommError (the driver's count of
// waiting and unsent bytes) and the port's COMMTIMEOUTS, which ReadFile and
// WriteFile honour.
// Left out: the modem-control lines (DTR, RTS) and DSR flow control, which
// termios does not model; error and event characters; the CE_ error flags, which
// the driver does not report (ClearCommError always gives an error mask of 0).
#include "handles.h"
#include "speeds.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace {

// The port's termios, for a DCB call; false with the error set when the
// handle or the record is no good.
bool TermiosOf(HANDLE h, LPDCB dcb, PosixHandle** p, termios* t) {
    if (!dcb) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    *p = LookupHandle(h);
    if (!*p)
        return false;
    if (tcgetattr((*p)->fd, t) != 0) {
        SetLastError(errno == EIO ? DEVICE_GONE_ERROR : ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

} // namespace

BOOL GetCommState(HANDLE hFile, LPDCB lpDCB) {
    PosixHandle* p;
    termios t;
    if (!TermiosOf(hFile, lpDCB, &p, &t))
        return FALSE;
    memset(lpDCB, 0, sizeof(DCB));
    lpDCB->DCBlength = sizeof(DCB);
    lpDCB->BaudRate = static_cast<DWORD>(BaudOfSpeed(cfgetospeed(&t)));
    lpDCB->fBinary = TRUE;
    lpDCB->fParity = (t.c_iflag & INPCK) ? TRUE : FALSE;
    lpDCB->fOutxCtsFlow = (t.c_cflag & CRTSCTS) ? TRUE : FALSE;
    lpDCB->fRtsControl = (t.c_cflag & CRTSCTS) ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    lpDCB->fDtrControl = DTR_CONTROL_ENABLE;
    lpDCB->fOutX = (t.c_iflag & IXON) ? TRUE : FALSE;
    lpDCB->fInX = (t.c_iflag & IXOFF) ? TRUE : FALSE;
    lpDCB->fTXContinueOnXoff = TRUE;
    lpDCB->XonLim = 2048;
    lpDCB->XoffLim = 512;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        lpDCB->ByteSize = 5;
        break;
    case CS6:
        lpDCB->ByteSize = 6;
        break;
    case CS7:
        lpDCB->ByteSize = 7;
        break;
    default:
        lpDCB->ByteSize = 8;
        break;
    }
    if (!(t.c_cflag & PARENB))
        lpDCB->Parity = NOPARITY;
    else if (t.c_cflag & CMSPAR)
        lpDCB->Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else
        lpDCB->Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    if (t.c_cflag & CSTOPB)
        lpDCB->StopBits = lpDCB->ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    else
        lpDCB->StopBits = ONESTOPBIT;
    lpDCB->XonChar = static_cast<char>(t.c_cc[VSTART]);
    lpDCB->XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    return TRUE;
}

BOOL SetCommState(HANDLE hFile, LPDCB lpDCB) {
    PosixHandle* p;
    termios t;
    if (!TermiosOf(hFile, lpDCB, &p, &t))
        return FALSE;
    const DCB& d = *lpDCB;
    speed_t speed = d.BaudRate <= 0x7fffffff ? SpeedOfBaud(static_cast<long>(d.BaudRate)) : B0;
    bool stopOk = d.StopBits == ONESTOPBIT || d.StopBits == TWOSTOPBITS ||
                  (d.StopBits == ONE5STOPBITS && d.ByteSize == 5);
    if (speed == B0 || d.ByteSize < 5 || d.ByteSize > 8 || d.Parity > SPACEPARITY || !stopOk) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag = (t.c_cflag & ~CSIZE) | sizes[d.ByteSize - 5];
    t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    if (d.Parity == ODDPARITY || d.Parity == MARKPARITY)
        t.c_cflag |= PARENB | PARODD;
    if (d.Parity == EVENPARITY || d.Parity == SPACEPARITY)
        t.c_cflag |= PARENB;
    if (d.Parity == MARKPARITY || d.Parity == SPACEPARITY)
        t.c_cflag |= CMSPAR;
    if (d.fParity && d.Parity != NOPARITY)
        t.c_iflag |= INPCK;
    else
        t.c_iflag &= ~INPCK;
    if (d.StopBits == ONESTOPBIT)
        t.c_cflag &= ~CSTOPB;
    else
        t.c_cflag |= CSTOPB;
    if (d.fOutxCtsFlow || d.fRtsControl == RTS_CONTROL_HANDSHAKE)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~CRTSCTS;
    t.c_iflag = d.fOutX ? (t.c_iflag | IXON) : (t.c_iflag & ~IXON);
    t.c_iflag = d.fInX ? (t.c_iflag | IXOFF) : (t.c_iflag & ~IXOFF);
    t.c_cc[VSTART] = static_cast<cc_t>(d.XonChar ? d.XonChar : 0x11);
    t.c_cc[VSTOP] = static_cast<cc_t>(d.XoffChar ? d.XoffChar : 0x13);
    if (tcsetattr(p->fd, TCSANOW, &t) != 0) {
        SetLastError(errno == EIO ? DEVICE_GONE_ERROR : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

BOOL ClearCommError(HANDLE hFile, LPDWORD lpErrors, LPCOMSTAT lpStat) {
    PosixHandle* p = LookupHandle(hFile);
    if (!p)
        return FALSE;
    pollfd pfd = {p->fd, 0, 0};
    int waiting = 0, unsent = 0;
    if ((poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) ||
        ioctl(p->fd, FIONREAD, &waiting) != 0) {
        SetLastError(p->isTerminal ? DEVICE_GONE_ERROR : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (ioctl(p->fd, TIOCOUTQ, &unsent) != 0)
        unsent = 0;
    if (lpErrors)
        *lpErrors = 0;
    if (lpStat) {
        memset(lpStat, 0, sizeof(COMSTAT));
        lpStat->cbInQue = static_cast<DWORD>(waiting);
        lpStat->cbOutQue = static_cast<DWORD>(unsent);
    }
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    PosixHandle* p = LookupHandle(hFile);
    if (!p)
        return FALSE;
    *lpCommTimeouts = p->timeouts;
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    PosixHandle* p = LookupHandle(hFile);
    if (!p)
        return FALSE;
    p->timeouts = *lpCommTimeouts;
    return TRUE;
}
