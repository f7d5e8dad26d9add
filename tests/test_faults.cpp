// The fault matrix, end to end: the built program against the simulated
// scanner with one device or port fault at a time, on Xvfb. Whatever the
// fault, the program keeps running and drawing, Escape ends it with exit code
// 0 within the reply bound plus 500 ms, and once the fault's last byte has
// been drained the readings land in their own cells again.
#include "scan/Acquire.h"
#include "render/Surface.h"
#include "scan/Reply.h"
#include "scan/ScanState.h"
#include "support/Device.h"
#include "support/Gui.h"
#include "support/Program.h"
#include "support/FaultRows.h"
#include "support/MapCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A row's test is named by its fault: Faults/Recovery.ReadingsLandInTheirCellsAgain/slow.
std::string RowName(const testing::TestParamInfo<std::string>& row) {
    return row.param;
}

// The cells of rows 0 and 1 after the ticks the simulator logged (those from
// `done` on may or may not have been stored when the window was captured).
// What the protocol guarantees: a tick whose drain ended after the last byte
// of every earlier reply had been written stores its own reading, as its
// drain took whatever had come before. The simulator stamps its writes once
// done and a command once read, so a drain is known to have ended after those
// bytes only when the command's stamp is more than OBSERVER_DELAY_MS after
// them: between the drain's end and that stamp lie the program's way to its
// write and the simulator's to its read. A tick whose command came sooner
// may have taken a stale byte, or (its drain run to its bound) stored none:
// its cell is unknown, as are the faulty ticks' own; `doubtful` counts those
// of the first kind. Silent ticks, and every tick after a hang-up, store no
// reading.
std::vector<CellExpect> ExpectedRows(const std::vector<DeviceProcess::Command>& cmds,
                                     const std::map<long, double>& written, size_t done,
                                     bool hungUp, int* doubtful) {
    std::vector<CellExpect> cells(2 * GRID_SIZE);
    *doubtful = 0;
    double staleUntil = written.count(0) ? written.at(0) : -1e300; // bytes sent unasked
    std::unique_ptr<ScanState> s(new ScanState);
    InitScanState(*s, 0);
    for (size_t tick = 1; tick <= 2 * 152 + 2; tick++) {
        StepSweep(*s);
        bool ownReading = false;
        const DeviceProcess::Command* c = tick <= done ? &cmds[tick - 1] : nullptr;
        if (c) {
            ownReading = c->ms > staleUntil + OBSERVER_DELAY_MS;
            auto w = written.find(static_cast<long>(tick));
            if (w != written.end())
                staleUntil = std::max(staleUntil, w->second);
            else if (c->note != "silent")
                staleUntil = 1e300; // not all written yet
        }
        if (s->posX < 0 || s->layerY > 1)
            continue;
        CellExpect& e = cells[s->layerY * GRID_SIZE + s->posX];
        e = CellExpect();
        if (!c) {
            e.known = hungUp;
            continue;
        }
        if (c->note == "silent")
            continue; // no reading
        if (!c->note.empty() || !ownReading || (tick == done && !hungUp)) {
            e.known = false;
            *doubtful += c->note.empty() && !ownReading;
            continue;
        }
        e.value = DecodeReply(c->reply.data(), static_cast<int>(c->reply.size()));
    }
    return cells;
}

class Recovery : public testing::TestWithParam<std::string> {};

TEST_P(Recovery, ReadingsLandInTheirCellsAgain) {
    std::string fault = GetParam();
    bool hangup = fault == "hangup";
    std::vector<std::string> args =
        FaultArgs(fault, hangup ? HANGUP_AFTER : FAULT_FROM, FAULT_COUNT);
    args.insert(args.end(), {"--stripes", "--latency", "1"});
    DeviceProcess sim(args);
    // In real time, as under Wine: which cells are known rests on how late a
    // stamp may be (OBSERVER_DELAY_MS), which is real time on any clock the
    // program keeps, so sped up ten times no tick would be a period clear of it.
    ProgramProcess prog(false);
    unsigned long w = prog.Window();
    ASSERT_NE(w, 0ul);
    // After a hang-up the ticks go on without the
    // simulator, one every 251 ms (the port fails at once).
    if (hangup) {
        ASSERT_TRUE(sim.Exited(60000));
        usleep((30 * 251 + 3000) * 1000);
    } else {
        ASSERT_TRUE(WaitForCommands(sim, RECOVERY_COMMANDS, 120000));
    }
    int code = -1;
    ASSERT_FALSE(prog.WaitExit(0, &code)) << "ended by itself with " << code;
    size_t done = sim.Commands().size();
    int width = 0, height = 0;
    std::vector<Rgb> shot = CaptureWindow(w, &width, &height);
    SendKeys(w, "Escape");
    ASSERT_TRUE(prog.WaitExit(AnswerBoundMs() + 3000, &code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(prog.Output(), "");
    ASSERT_EQ(shot.size(), static_cast<size_t>(width) * height);

    int doubtful = 0;
    BandCheck check = CheckLowestBand(
        shot, width, height,
        ExpectedRows(sim.Commands(), sim.LastBytesWritten(), done, hangup, &doubtful));
    EXPECT_EQ(check.wrong, 0) << fault << ": a reading the protocol guarantees is not in its cell, "
                              << check.wrong << " quads, first " << check.first;
    EXPECT_GT(check.exact, hangup ? 5 : 12) << "quads whose corners agree, checked exactly";
    Figure("recovery " + fault + " ticks=" + std::to_string(done) +
           " doubtful=" + std::to_string(doubtful) + " quads_exact=" + std::to_string(check.exact) +
           " quads_bounded=" + std::to_string(check.bounded));
}

INSTANTIATE_TEST_SUITE_P(Faults, Recovery, testing::ValuesIn(Rows("Recovery")), RowName);

// What an Escape row puts on COM6 before the program starts: the simulated
// scanner with the row's fault, or a port that is missing, no serial line, or
// held by another process; and the message the program must print for it.
struct RowSetup {
    std::unique_ptr<DeviceProcess> sim;
    std::string message;
    HANDLE held = INVALID_HANDLE_VALUE;
    struct Unlink { // a link of the tests' Wine prefix that the next test must not find
        std::string path;
        ~Unlink() {
            if (!path.empty())
                unlink(path.c_str());
        }
    } cleanup;
};

void SetUpRow(const std::string& fault, RowSetup* row) {
    std::string& message = row->message;
    if (fault == "missing") {
        std::string folder = UsePrivatePortsFolder();
        if (const char* wineLink = getenv("RANGESCAN_COM6_LINK"))
            unlink(wineLink); // Wine then looks for /dev/ttyS5, which is not there
        else
            ASSERT_EQ(symlink("/dev/ttyUSB-unplugged", (folder + "/com6").c_str()), 0);
        message = "ERROR: Handle was not attached. Reason: COM6 not available.";
        // The Windows C runtime writes text-mode output: its line ends are CR LF.
        message += ProgramUnderWine() ? "\r\n" : "\n";
    } else if (fault == "notserial") { // COM6 names a plain file
        std::string folder = UsePrivatePortsFolder(), file = folder + "/not-a-port";
        fclose(fopen(file.c_str(), "w"));
        const char* wineLink = getenv("RANGESCAN_COM6_LINK");
        std::string link = wineLink ? wineLink : folder + "/com6";
        unlink(link.c_str());
        ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
        row->cleanup.path = link;
        message = "failed to get current serial parameters!";
    } else {
        std::vector<std::string> args = FaultArgs(fault, 3, 0);
        args.insert(args.end(), {"--latency", "5"});
        row->sim.reset(new DeviceProcess(args));
    }
    if (fault == "busy") { // another process has the port
        row->held = CreateFileA("COM6", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(row->held, INVALID_HANDLE_VALUE);
        message = "ERROR!!!";
    }
}

class Escape : public testing::TestWithParam<std::string> {};

// Escape pressed just as the third command has gone out, into a fault that
// began with it: a silent or slow device keeps the tick waiting its whole bound.
// A port that did not open (missing, or held by another process) or is no
// serial line is reported at once, with no start-up wait: the message is in
// the redirected output while the program runs, and Escape soon after the
// window shows is answered well within the 2000 ms that wait would take.
TEST_P(Escape, EndsItWithZeroWithinTheReplyBoundAndAHalfSecond) {
    std::string fault = GetParam();
    bool opens = fault != "busy" && fault != "missing" && fault != "notserial";
    if (fault == "busy" && ProgramUnderWine())
        GTEST_SKIP() << "Wine does not enforce share mode 0 on serial ports";
    RowSetup row;
    ASSERT_NO_FATAL_FAILURE(SetUpRow(fault, &row));
    std::unique_ptr<DeviceProcess>& sim = row.sim;
    const std::string& message = row.message;
    ProgramProcess prog(false);
    unsigned long w = prog.Window();
    ASSERT_NE(w, 0ul);
    if (opens) {
        ASSERT_TRUE(WaitForCommands(*sim, 3, 30000));
    } else {
        usleep(300000); // a few frames and a tick on a port that did not open
    }
    if (fault == "hangup") {
        ASSERT_TRUE(sim->Exited(5000));
        usleep(1000000);
    }
    int code = -1;
    ASSERT_FALSE(prog.WaitExit(0, &code)) << "ended by itself with " << code;
    EXPECT_EQ(prog.Output(), message) << "while it runs";
    double t0 = NowMs();
    SendKeys(w, "Escape");
    EXPECT_TRUE(prog.WindowGone(AnswerBoundMs() + 2000));
    double took = NowMs() - t0;
    ASSERT_TRUE(prog.WaitExit(5000, &code));
    double exited = NowMs() - t0;
    EXPECT_EQ(code, 0);
    if (row.held != INVALID_HANDLE_VALUE)
        CloseHandle(row.held);
    EXPECT_EQ(prog.Output(), message);
    // The program answers once the tick under way ends, at most its reply
    // bound after it began, which was before t0. The 500 ms are xdotool's
    // start, the X server, the program's last frame and the test's poll, each
    // of which a busy machine holds. Without a window manager Wine's
    // DestroyWindow adds its 2 s wait.
    EXPECT_LT(took, REPLY_TIMEOUT_MS + 500.0 + (ProgramUnderWine() ? 2100.0 : 0.0)) << fault;
    if (opens && fault != "hangup") {
        EXPECT_TRUE(PortIsFree());
    }
    Figure("escape " + fault + " window_gone_ms=" + std::to_string(std::lround(took)) +
           " exit_ms=" + std::to_string(std::lround(exited)));
}

INSTANTIATE_TEST_SUITE_P(Faults, Escape, testing::ValuesIn(Rows("Escape")), RowName);

} // namespace
