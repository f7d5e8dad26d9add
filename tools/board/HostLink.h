// The board's serial port as the computer sees it: UART0 through the board's
// USB adapter, on the device side of a pseudo-terminal. The computer opening
// the port resets the board (the adapter's DTR line), and the bootloader has
// it for a while before the firmware runs; bytes from the computer reach the
// UART as it can take them; the firmware's bytes reach the computer as the
// line model delivers them (with "whole", each reply in one piece once it has
// ended). Each side's UART reads the other's bytes at its own speed: at a speed
// other than the firmware's, they arrive as other bytes, or none (UartRate.h). Logs every byte in
// and out, and a "cmd" line per command with its whole reply.
#pragma once

#include "tools/board/BoardTime.h"
#include "tools/device/Line.h"
#include "tools/device/PortServe.h"
#include "tools/device/DeviceLog.h"

#include <deque>
#include <string>

struct HostLink {
    avr_t* avr = nullptr;
    const BoardTime* time = nullptr;
    DeviceLog* log = nullptr;
    PortServe port;         // the computer's side: its settings, the bytes it is yet to take
    double hostBaud = 9600; // the speed the computer set its side to
    Line line;
    double bootMs = 1000;
    bool hostOpen = false;
    double bootUntil = 0; // the bootloader runs until then; the firmware after
    std::deque<uint8_t> toBoard;
    bool xoff = false;
    std::string wholeReply; // with the "whole" line: the reply so far, sent once it ends
    avr_irq_t* rx = nullptr;
    // The log's commands: pairs of bytes in, and the reply that follows.
    int firstByte = -1;
    double firstAt = 0;
    bool replyOpen = false;
    int h = 0, v = 0;
    double cmdAt = 0, lastOut = 0;
    std::string reply;
};

// Sets it up on the pseudo-terminal's device side `master`, whose line
// settings are `settings` until the computer changes them; its bytes reach the
// computer as line model `model` has them, and a reset holds the board in its
// bootloader for `bootMs`.
void HostLinkInit(HostLink& l, avr_t* avr, const BoardTime& time, DeviceLog& log, int master,
                  const std::string& settings, LineModel model, double bootMs);
// Hooks UART `uart` ('0') to the link.
void HostLinkConnect(HostLink& l, avr_t* avr, char uart);

// The computer's side at `now`: the port opened or closed, bytes in, bytes
// out, replies ended. An open resets the board: true when it did.
bool HostLinkServe(HostLink& l, bool open, double now);
// True while the bootloader holds the board after a reset.
bool HostLinkBooting(const HostLink& l, double now);
// Hands the UART the computer's next byte, when it can take one.
void HostLinkFeed(HostLink& l);
// Logs the command under way, if any (at the end of the run).
void HostLinkEnd(HostLink& l);
