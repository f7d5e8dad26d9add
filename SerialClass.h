// The serial port the scanner is attached to: open and configure it by name,
// count the bytes waiting, read them, write bytes.
#ifndef SERIALCLASS_H_INCLUDED
#define SERIALCLASS_H_INCLUDED

// The device's start-up wait after the port is configured, in ms: the boards a
// scanner is built on reset when the port opens. rangescan-probe and
// rangescan-capture take it as their --wait-ms default.
#define ARDUINO_WAIT_TIME 2000

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

class Serial {
  private:
    // Handle of the port; INVALID_HANDLE_VALUE when the open failed.
    HANDLE hSerial;
    // True only once the port was opened and configured.
    bool connected;
    // Filled by every ClearCommError call; cbInQue is the count of waiting bytes.
    COMSTAT status;
    // The error mask of every ClearCommError call.
    DWORD errors;

  public:
    // Opens the named port ("COM6") at the scanner's line speed (SCANNER_BAUD,
    // firmware/scanner/config.h), 8N1, then waits
    // `waitMs` (ARDUINO_WAIT_TIME unless a tool asks for another wait) for the
    // device to start. Failures are printed.
    Serial(const char* portName, DWORD waitMs = ARDUINO_WAIT_TIME);
    // Closes the port if it was opened.
    ~Serial();
    // Reads at most nbChar of the bytes already waiting. Returns the count read,
    // or -1 when nothing was waiting, nothing was read, or the port failed.
    int ReadData(char* buffer, unsigned int nbChar);
    // True when the write call succeeded.
    bool WriteData(BYTE* buffer, unsigned int nbChar);
    bool IsConnected();
    // True when at least req bytes are waiting (compared unsigned); false when
    // the port failed.
    bool isData(int req);
    // The count of bytes waiting, or -1 when the port failed (it never opened,
    // or the device went away).
    int countData();
};

#endif // SERIALCLASS_H_INCLUDED
