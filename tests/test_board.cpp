// The scanner's firmware on the emulated board (rangescan-board), in real
// time: against the test host, against the program's own tick, and end to end
// against the built program (natively, or the Windows build under Wine).
#include "SerialClass.h"
#include "scan/Acquire.h"
#include "scan/Reply.h"
#include "support/Device.h"
#include "support/Gui.h"
#include "support/Program.h"
#include "support/PacingCheck.h"
#include "support/MapCheck.h"
#include "tools/device/Scene.h"
#include "firmware/scanner/config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// The bootloader's wait after a reset, as the emulator has it by default.
const double BOOT_MS = 1000;

// The board log's lines of one kind ("open", "ping", "error"): their times,
// and the rest of each line.
struct Event {
    double ms;
    std::string rest;
};

std::vector<Event> Events(const std::string& logPath, const std::string& kind) {
    std::vector<Event> at;
    std::ifstream in(logPath);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        double ms;
        std::string k, rest;
        if (s >> ms >> k && k == kind) {
            std::getline(s, rest);
            at.push_back({ms, rest});
        }
    }
    return at;
}

// The emulator's errors: a ping while a servo was still turning.
std::string Errors(const DeviceProcess& board) {
    std::string all;
    for (const Event& e : Events(board.logPath, "error"))
        all += std::to_string(e.ms) + ":" + e.rest + "\n";
    return all;
}

// The scene's reply to a command, as the ranger would measure it exactly.
float SceneReading(int h, int v) {
    std::string r = EncodeEcho(RangeCm(static_cast<uint8_t>(h), static_cast<uint8_t>(v)));
    return DecodeReply(r.data(), static_cast<int>(r.size()));
}

// Readings the board's timing makes a fraction of a per cent short, as a
// real board's do; a reading farther off than this is wrong.
bool NearScene(float reading, int h, int v) {
    float scene = SceneReading(h, v);
    return std::fabs(reading - scene) <= 0.015f * scene + 0.05f;
}

// The test host's checks against a flat target and against nothing in reach.
// Each open of the port resets the board: its bootloader has it a second, then
// the firmware starts and sets its servos straight. The pings aim where the
// test host's commands point, the lone byte's neighbours included: paired
// with the next command's first byte, it would aim elsewhere.
TEST(Board, FirmwareKeepsTheProtocol) {
    {
        DeviceProcess board({"--range", "25"}, EMULATED_BOARD);
        std::string out;
        EXPECT_EQ(RunProbe("--expect-cm 25", &out), 0) << out;
        EXPECT_NE(out.find("ok   nothing sent unasked"), std::string::npos) << out;
        EXPECT_NE(out.find("ok   in step after a lost byte"), std::string::npos) << out;
        out.clear();
        EXPECT_EQ(RunProbe("--expect-cm 25", &out), 0) << out;
        auto opens = Events(board.logPath, "open"), starts = Events(board.logPath, "pan");
        ASSERT_EQ(opens.size(), 2u);
        for (const Event& o : opens) {
            auto first = std::find_if(starts.begin(), starts.end(),
                                      [&](const Event& p) { return p.ms > o.ms; });
            ASSERT_NE(first, starts.end());
            EXPECT_EQ(first->rest, " 1500.0 us") << "the firmware's start after the open";
            // The board holds the firmware BOOT_MS from the open it saw; the
            // firmware sets its servos in its first milliseconds, at the
            // board's first look after the boot, which a busy machine delays.
            EXPECT_GE(first->ms, o.ms + BOOT_MS);
            EXPECT_LT(first->ms, o.ms + BOOT_MS + 50 + OBSERVER_DELAY_MS);
        }
        // Commands as the test host sends them, clamped: centre, corners,
        // centre, a lone byte, centre, then two out of range.
        const int aims[9][2] = {{80, 70}, {5, 140}, {156, 140}, {156, 0},  {5, 0},
                                {80, 70}, {80, 70}, {4, 140},   {156, 140}};
        auto pings = Events(board.logPath, "ping");
        ASSERT_EQ(pings.size(), 18u);
        for (size_t i = 0; i < pings.size(); i++) {
            double pan = 0, tilt = 0;
            ASSERT_EQ(sscanf(pings[i].rest.c_str(), " pan %lf tilt %lf", &pan, &tilt), 2);
            const int* aim = aims[i % 9];
            EXPECT_NEAR(pan, PanDegrees(static_cast<uint8_t>(aim[0])), 0.1) << "ping " << i + 1;
            EXPECT_NEAR(tilt, TiltDegrees(static_cast<uint8_t>(aim[1])), 0.1) << "ping " << i + 1;
        }
        EXPECT_EQ(Errors(board), "");
    }
    DeviceProcess board({"--range", "none"}, EMULATED_BOARD);
    std::string out;
    EXPECT_EQ(RunProbe("--expect-cm 0", &out), 0) << out;
    EXPECT_EQ(Errors(board), "");
}

// Processor time a process has used, in seconds.
double CpuSeconds(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(all.substr(all.rfind(')') + 2));
    std::string f;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> f; i++)
        if (i == 14 || i == 15) // utime, stime
            ticks += std::stol(f);
    return static_cast<double>(ticks) / sysconf(_SC_CLK_TCK);
}

// With no program at the port the emulator waits for one without spinning
// (a loop on the hang-up the port reports would take a whole core).
TEST(Board, IdlesWhileThePortIsClosed) {
    DeviceProcess board({}, EMULATED_BOARD);
    double cpu = CpuSeconds(board.Pid()), t0 = NowMs();
    usleep(2000000);
    double share = (CpuSeconds(board.Pid()) - cpu) / ((NowMs() - t0) / 1000);
    EXPECT_LT(share, 0.1) << "of a core";
}

// What arrives on an open port within `ms`.
std::string Listen(HANDLE h, double ms) {
    std::string got;
    for (double until = NowMs() + ms; NowMs() < until; Sleep(1)) {
        DWORD errors = 0, n = 0;
        COMSTAT stat;
        char buf[256];
        if (ClearCommError(h, &errors, &stat) && stat.cbInQue > 0 &&
            ReadFile(h, buf, std::min<DWORD>(stat.cbInQue, sizeof buf), &n, NULL))
            got.append(buf, n);
    }
    return got;
}

// The firmware's UART keeps its own speed, as a real board's does: a
// computer that left its side at another (the program's "ALERT" path keeps
// the port's old speed) gets the wrong bytes or none, never the reading; at
// the scanner's speed the same command is answered.
TEST(Board, OnlyTheFirmwaresLineSpeedCarriesTheExchange) {
    DeviceProcess board({}, EMULATED_BOARD);
    HANDLE h = CreateFileA("COM6", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB d;
    memset(&d, 0, sizeof d);
    ASSERT_TRUE(GetCommState(h, &d));
    d.ByteSize = 8;
    d.Parity = NOPARITY;
    d.StopBits = ONESTOPBIT;
    Sleep(static_cast<DWORD>(BOOT_MS) + 1000); // the open reset it
    BYTE centre[2] = {80, 70};
    std::string expected = EncodeEcho(RangeCm(80, 70));
    // Two common speeds other than the scanner's (57600 and 9600 beside 115200).
    const DWORD scanner = static_cast<DWORD>(SCANNER_BAUD);
    const DWORD other = scanner == 57600 ? 115200 : 57600, slow = scanner == 9600 ? 19200 : 9600;
    for (DWORD baud : {other, slow, scanner}) {
        d.BaudRate = baud;
        ASSERT_TRUE(SetCommState(h, &d));
        DWORD sent = 0;
        ASSERT_TRUE(WriteFile(h, centre, 2, &sent, NULL));
        std::string got = Listen(h, 1000);
        float cm = DecodeReply(got.data(), static_cast<int>(got.size()));
        if (baud == scanner)
            EXPECT_TRUE(NearScene(cm, 80, 70)) << got << " for " << expected;
        else
            EXPECT_FALSE(!got.empty() && NearScene(cm, 80, 70)) << baud << " baud: " << got;
    }
    CloseHandle(h);
}

// The program's tick against the firmware: every reading is the decode of
// the whole reply the board sent, and the scene's range within the ranger's
// precision.
TEST(Board, TickReadsTheSceneThroughTheFirmware) {
    DeviceProcess board({}, EMULATED_BOARD);
    testing::internal::CaptureStdout();
    std::unique_ptr<Serial> port(new Serial("COM6"));
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(port->IsConnected());
    std::unique_ptr<ScanState> s(new ScanState), replay(new ScanState);
    InitScanState(*s, GetTickCount());
    InitScanState(*replay, 0);
    const int ticks = 60;
    for (int i = 0; i < ticks; i++)
        AcquireSample(*s, *port);
    port.reset();
    ASSERT_TRUE(WaitForCommands(board, ticks, 2000)); // the last reply is logged once done
    auto cmds = board.Commands();
    ASSERT_EQ(cmds.size(), static_cast<size_t>(ticks));
    for (int i = 0; i < ticks; i++) {
        StepSweep(*replay);
        float got = s->bufferX[replay->posX][replay->layerY];
        EXPECT_EQ(got, DecodeReply(cmds[i].reply.data(), static_cast<int>(cmds[i].reply.size())))
            << "tick " << i + 1;
        EXPECT_TRUE(NearScene(got, cmds[i].h, cmds[i].v))
            << "tick " << i + 1 << ": " << got << " cm, the scene "
            << SceneReading(cmds[i].h, cmds[i].v);
    }
    EXPECT_EQ(Errors(board), "");
}

// The built program against the firmware on the emulated board, in real time:
// the first command after the firmware has started, commands in the raster's
// order and pace, the map on screen as the board's replies have it, the
// replies as the scene has it, Escape ends it with 0 and frees the port.
TEST(Board, ProgramScansTheEmulatedBoard) {
    DeviceProcess board({}, EMULATED_BOARD);
    ProgramProcess prog(false);
    unsigned long w = prog.Window();
    ASSERT_NE(w, 0ul);
    const size_t want = 180; // into row 1, which the map needs to show row 0
    ASSERT_TRUE(WaitForCommands(board, want, 120000));
    size_t done = board.Commands().size();
    int width = 0, height = 0;
    std::vector<Rgb> shot = CaptureWindow(w, &width, &height);
    SendKeys(w, "Escape");
    int code = -1;
    ASSERT_TRUE(prog.WaitExit(AnswerBoundMs() + 3000, &code));
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(PortIsFree());
    ASSERT_EQ(shot.size(), static_cast<size_t>(width) * height);

    auto cmds = board.Commands();
    // The program's open resets the board once; the test's own open to see
    // the port freed resets it again after the scan.
    double reset = -1;
    for (const Event& r : Events(board.logPath, "reset")) {
        if (r.ms < cmds[0].ms)
            reset = r.ms;
        else
            EXPECT_GT(r.ms, cmds.back().ms) << "the board reset during the scan";
    }
    ASSERT_GE(reset, 0.0) << "no reset before the first command";
    // The program's first command comes more than 2250 ms after its open (the
    // start-up wait and a tick), which the board saw at most a delay late.
    EXPECT_GT(cmds[0].ms, reset + BOOT_MS) << "a command before the firmware ran";
    std::unique_ptr<ScanState> replay(new ScanState);
    InitScanState(*replay, 0);
    int offScene = 0;
    std::vector<double> stamps;
    for (size_t i = 0; i < cmds.size(); i++) {
        StepSweep(*replay);
        ASSERT_EQ(cmds[i].h, replay->buffer[0]) << i;
        ASSERT_EQ(cmds[i].v, replay->buffer[1]) << i;
        // The board stamps a command on the wall clock once it has read it,
        // between two slices of its run: its own clock, which stops while it
        // is not scheduled, plays no part.
        stamps.push_back(cmds[i].ms);
        float r = DecodeReply(cmds[i].reply.data(), static_cast<int>(cmds[i].reply.size()));
        offScene += NearScene(r, cmds[i].h, cmds[i].v) ? 0 : 1;
    }
    ExpectPacedAsPromised(stamps, "board");
    // An edge of an object can fall between the servo's aim and the command's.
    EXPECT_LE(offScene, 2) << "replies off the scene";
    BandCheck band = CheckLowestBand(shot, width, height, CellsFromReplies(cmds, done));
    EXPECT_EQ(band.wrong, 0) << band.wrong << " quads, first " << band.first;
    EXPECT_GT(band.exact, 5);
    EXPECT_GT(CheckFarWhereNothingEchoes(shot, width, height, cmds, done, true), 10);
    EXPECT_EQ(Errors(board), "");
}

} // namespace
