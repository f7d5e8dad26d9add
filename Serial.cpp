#include "SerialClass.h"

#include "firmware/scanner/config.h"

#include <string.h>

// A write the line's flow control holds back gives up after this long, so that
// it cannot hold the program. Reads are left as the driver has them.
static const DWORD WRITE_TIMEOUT_MS = 500;

// docs/using.md explains each of the four messages by its text, and the tests
// look for the texts as they stand.
// Each message is flushed as it is printed: with standard output redirected
// to a file it is fully buffered, and the one line that says why the map
// stays black would reach the file only when the program ends.
Serial::Serial(const char* portName, DWORD waitMs) {
    this->connected = false;

    this->hSerial = CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);

    if (this->hSerial == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) {
            printf("ERROR: Handle was not attached. Reason: %s not available.\n", portName);
            fflush(stdout);
        } else {
            printf("ERROR!!!");
            fflush(stdout);
        }
        return;
    }

    DCB dcbSerialParams;
    memset(&dcbSerialParams, 0, sizeof(dcbSerialParams));
    if (!GetCommState(this->hSerial, &dcbSerialParams)) {
        printf("failed to get current serial parameters!");
        fflush(stdout);
        return;
    }

    dcbSerialParams.BaudRate = static_cast<DWORD>(SCANNER_BAUD);
    dcbSerialParams.ByteSize = 8;
    dcbSerialParams.StopBits = ONESTOPBIT;
    dcbSerialParams.Parity = NOPARITY;

    if (!SetCommState(this->hSerial, &dcbSerialParams)) {
        printf("ALERT: Could not set Serial Port parameters");
        fflush(stdout);
        return;
    }

    COMMTIMEOUTS timeouts;
    if (GetCommTimeouts(this->hSerial, &timeouts)) {
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = WRITE_TIMEOUT_MS;
        SetCommTimeouts(this->hSerial, &timeouts);
    }

    this->connected = true;
    Sleep(waitMs);
}

Serial::~Serial() {
    if (this->connected) {
        this->connected = false;
        CloseHandle(this->hSerial);
    } else if (this->hSerial != INVALID_HANDLE_VALUE) {
        // Opened but never configured: still ours, and still held exclusively.
        CloseHandle(this->hSerial);
    }
}

int Serial::ReadData(char* buffer, unsigned int nbChar) {
    DWORD bytesRead;
    unsigned int toRead;

    if (!ClearCommError(this->hSerial, &this->errors, &this->status))
        return -1;

    if (this->status.cbInQue == 0)
        return -1;

    if (this->status.cbInQue > nbChar) {
        toRead = nbChar;
    } else {
        toRead = this->status.cbInQue;
    }

    if (ReadFile(this->hSerial, buffer, toRead, &bytesRead, NULL) && bytesRead != 0) {
        return bytesRead;
    }
    return -1;
}

bool Serial::WriteData(BYTE* buffer, unsigned int nbChar) {
    DWORD bytesSend;

    if (!WriteFile(this->hSerial, (void*)buffer, nbChar, &bytesSend, 0)) {
        ClearCommError(this->hSerial, &this->errors, &this->status);
        return false;
    }
    return true;
}

bool Serial::IsConnected() {
    return this->connected;
}

bool Serial::isData(int req) {
    if (!ClearCommError(this->hSerial, &this->errors, &this->status))
        return false;
    return this->status.cbInQue >= (DWORD)req;
}

int Serial::countData() {
    if (!ClearCommError(this->hSerial, &this->errors, &this->status))
        return -1;
    return this->status.cbInQue;
}
