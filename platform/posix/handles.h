// The stand-in's file handles: a HANDLE is the address of one of these records,
// known to the table of open handles. Internal to platform/posix.
#pragma once

#include <windows.h>

struct PosixHandle {
    int fd;
    bool isTerminal;
    COMMTIMEOUTS timeouts; // as a freshly opened Windows port has them: all zero
};

// The record behind a handle, or null (with ERROR_INVALID_HANDLE set) when the
// handle is not an open one.
PosixHandle* LookupHandle(HANDLE h);
HANDLE AddHandle(int fd, bool isTerminal);
void RemoveHandle(HANDLE h);

// The error a call reports once the device behind a port has gone away.
const DWORD DEVICE_GONE_ERROR = ERROR_BAD_COMMAND;

// Whole milliseconds on the monotonic clock (NowMs, tools/device/Clock.h), not
// wrapped: the time the port's timeouts and GetTickCount count in.
uint64_t WholeMs();
