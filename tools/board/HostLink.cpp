#include "tools/board/HostLink.h"

#include "firmware/scanner/config.h"

#include "tools/board/UartRate.h"
#include "tools/device/Clock.h"

#include <avr_uart.h>

#include <cstdlib>

#include <unistd.h>

namespace {

const double REPLY_DONE_MS = 3; // the firmware's reply has ended after this quiet

void EndCommand(HostLink& l) {
    if (l.replyOpen)
        Log(*l.log, l.cmdAt, "cmd %d %d %s", l.h, l.v, l.reply.c_str());
    l.replyOpen = false;
}

void OnUartOut(avr_irq_t*, uint32_t value, void* param) {
    HostLink& l = *static_cast<HostLink*>(param);
    double ms = BoardMs(*l.time);
    char c = static_cast<char>(value);
    Log(*l.log, ms, "out %c", c);
    // The computer's UART reads it at its own speed.
    for (char r : ReceivedAt(std::string(1, c), FirmwareBaud(l.avr), l.hostBaud, 0)) {
        if (l.line.model == LINE_WHOLE)
            l.wholeReply += r;
        else
            LineByte(l.line, ms, r);
    }
    l.reply += c;
    l.lastOut = ms;
}

void OnXon(avr_irq_t*, uint32_t, void* param) {
    static_cast<HostLink*>(param)->xoff = false;
}

void OnXoff(avr_irq_t*, uint32_t, void* param) {
    static_cast<HostLink*>(param)->xoff = true;
}

// A byte from the computer, in the firmware's hands unless the bootloader
// still has the board.
void FromHost(HostLink& l, double ms, uint8_t byte) {
    Log(*l.log, ms, "in %u", byte);
    if (ms < l.bootUntil)
        return;
    l.toBoard.push_back(byte);
    if (l.firstByte >= 0 && ms - l.firstAt <= LONE_BYTE_MS) {
        EndCommand(l);
        l.h = l.firstByte;
        l.v = byte;
        l.cmdAt = ms;
        l.reply.clear();
        l.replyOpen = true;
        l.firstByte = -1;
    } else {
        l.firstByte = byte;
        l.firstAt = ms;
    }
}

void Reset(HostLink& l, double ms) {
    avr_reset(l.avr);
    l.toBoard.clear();
    l.xoff = false;
    l.firstByte = -1;
    EndCommand(l);
    l.bootUntil = ms + l.bootMs;
    Log(*l.log, ms, "reset");
}

// A reply that has ended: logged, and with the "whole" line sent in one piece.
void EndReply(HostLink& l) {
    double ms = BoardMs(*l.time);
    if (ms - l.lastOut <= REPLY_DONE_MS)
        return;
    if (!l.wholeReply.empty())
        LineSend(l.line, ms, l.wholeReply);
    l.wholeReply.clear();
    if (l.replyOpen && !l.reply.empty())
        EndCommand(l);
}

} // namespace

void HostLinkInit(HostLink& l, avr_t* avr, const BoardTime& time, DeviceLog& log, int master,
                  const std::string& settings, LineModel model, double bootMs) {
    l = HostLink();
    l.avr = avr;
    l.time = &time;
    l.log = &log;
    l.port.master = master;
    l.port.settings = settings;
    l.hostBaud = atof(settings.c_str());
    l.line.model = model;
    l.bootMs = bootMs;
}

void HostLinkConnect(HostLink& l, avr_t* avr, char uart) {
    uint32_t flags = 0; // no echo of the UART on our standard output
    avr_ioctl(avr, AVR_IOCTL_UART_SET_FLAGS(uart), &flags);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ(uart), UART_IRQ_OUTPUT),
                            OnUartOut, &l);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ(uart), UART_IRQ_OUT_XON),
                            OnXon, &l);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ(uart), UART_IRQ_OUT_XOFF),
                            OnXoff, &l);
    l.rx = avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ(uart), UART_IRQ_INPUT);
}

bool HostLinkBooting(const HostLink& l, double now) {
    return now < l.bootUntil;
}

void HostLinkFeed(HostLink& l) {
    if (!l.toBoard.empty() && !l.xoff) {
        avr_raise_irq(l.rx, l.toBoard.front());
        l.toBoard.pop_front();
    }
}

bool HostLinkServe(HostLink& l, bool open, double now) {
    bool reset = false;
    if (open != l.hostOpen) {
        l.hostOpen = open;
        Log(*l.log, now, open ? "open" : "close");
        if (open) { // the adapter's DTR line pulls the board's reset
            Reset(l, now);
            reset = true;
        }
    }
    EndReply(l);
    if (!open) { // what the board sends while no one listens is lost
        LineTake(l.line, now);
        l.port.unsent.clear();
        return reset;
    }
    if (ServeSettings(l.port, *l.log, now))
        l.hostBaud = atof(l.port.settings.c_str());
    char in[256];
    ssize_t got = read(l.port.master, in, sizeof in);
    // The board's UART reads the computer's bytes at the firmware's speed.
    // They are stamped once read, on the wall clock: never before the
    // computer wrote them, whatever the board's own clock has fallen behind.
    double readAt = got > 0 ? NowMs() : now;
    if (got > 0)
        for (char c :
             ReceivedAt(std::string(in, static_cast<size_t>(got)), l.hostBaud, FirmwareBaud(l.avr)))
            FromHost(l, readAt, static_cast<uint8_t>(c));
    ServeBytes(l.port, l.line, *l.log, now);
    return reset;
}

void HostLinkEnd(HostLink& l) {
    EndCommand(l);
}
