// Stand-in for KERNEL32's last-error value and FormatMessageA, for the codes
// the stand-in sets. Where a call failed because the window system refused it,
// the text is the window system's own account of why (it names, say, a DISPLAY
// that is unset), as Windows' text names the cause of its own failures.
// Left out: inserts, message tables other than the system's, languages, and
// FORMAT_MESSAGE_ALLOCATE_BUFFER.
#include "errors.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;
std::string windowSystemText; // why the window system last refused a call

const char* SystemText(DWORD code) {
    switch (code) {
    case ERROR_SUCCESS:
        return "The operation completed successfully.";
    case ERROR_FILE_NOT_FOUND:
        return "The system cannot find the file specified.";
    case ERROR_ACCESS_DENIED:
        return "Access is denied.";
    case ERROR_INVALID_HANDLE:
        return "The handle is invalid.";
    case ERROR_BAD_COMMAND:
        return "The device does not recognize the command.";
    case ERROR_GEN_FAILURE:
        return "A device attached to the system is not functioning.";
    case ERROR_INVALID_PARAMETER:
        return "The parameter is incorrect.";
    default:
        return nullptr;
    }
}

} // namespace

DWORD GetLastError(void) {
    return lastError;
}

void SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}

void FailForWindowSystem(const char* why) {
    windowSystemText = why ? why : "";
    SetLastError(ERROR_GEN_FAILURE);
}

DWORD FormatMessageA(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPSTR lpBuffer, DWORD nSize,
                     void*) {
    const char* text = SystemText(dwMessageId);
    if (dwMessageId == ERROR_GEN_FAILURE && !windowSystemText.empty())
        text = windowSystemText.c_str();
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || !text || !lpBuffer || nSize == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // Windows' texts end with a line break.
    int n = snprintf(lpBuffer, nSize, "%s\r\n", text);
    if (n < 0 || static_cast<DWORD>(n) >= nSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<DWORD>(n);
}
