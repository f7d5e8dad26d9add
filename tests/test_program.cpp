// The built program end to end: against the simulated scanner, on Xvfb.
#include "SerialClass.h"
#include "scan/Acquire.h"
#include "scan/Reply.h"
#include "scan/ScanState.h"
#include "support/Child.h"
#include "support/Device.h"
#include "support/Gui.h"
#include "support/Program.h"
#include "support/PacingCheck.h"
#include "support/MapCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <csignal>
#include <memory>
#include <sys/wait.h>
#include <sstream>
#include <unistd.h>

namespace {

// The desktop entry's line that starts with `key`.
std::string DesktopEntryLine(const std::string& key) {
    std::ifstream in(RANGESCAN_DESKTOP_ENTRY);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, key.size(), key) == 0)
            return line;
    return "";
}

TEST(Program, PacesCommandsInSerpentineOrder) {
    DeviceProcess sim({"--latency", "5"});
    ProgramProcess prog(false);
    unsigned long w = prog.Window();
    ASSERT_NE(w, 0ul);
    if (!ProgramUnderWine()) { // Wine names its windows' class after the program's file
        EXPECT_EQ("StartupWMClass=" + WindowClassName(w), DesktopEntryLine("StartupWMClass="));
    }
    ASSERT_TRUE(WaitForCommands(sim, 10, 8000));
    int code = -1;
    ASSERT_FALSE(prog.WaitExit(0, &code)) << "exited early with " << code;
    SendKeys(w, "Escape");
    ASSERT_TRUE(prog.WaitExit(AnswerBoundMs() + 3000, &code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(prog.Output(), "");

    auto cmds = sim.Commands();
    std::vector<double> stamps;
    std::unique_ptr<ScanState> replay(new ScanState);
    InitScanState(*replay, 0);
    for (size_t i = 0; i < cmds.size(); i++) {
        StepSweep(*replay);
        EXPECT_EQ(cmds[i].h, replay->buffer[0]) << i;
        EXPECT_EQ(cmds[i].v, replay->buffer[1]) << i;
        stamps.push_back(cmds[i].ms);
    }
    ExpectPacedAsPromised(stamps, "program");
    // The start-up wait: the program waits 2000 ms once it has configured the
    // line, then a tick's period from the scan's start, by its own clock. It
    // configured the line after the simulator's last look that found it not
    // yet set (a stamp no delay can make late), and the first command is
    // stamped after its write (one no delay can make early): nothing need be
    // allowed for a busy machine, only the count's step.
    double after = sim.LineConfiguredAfterMs();
    ASSERT_GT(after, -1e300) << "the line was never configured";
    double floor = ARDUINO_WAIT_TIME + TICK_PERIOD_MS + 1.0 - TickStepMs();
    EXPECT_GE(cmds[0].ms - after, floor) << "the first command after the start-up wait";
    Figure("timing startup-wait margin_ms=" + std::to_string(cmds[0].ms - after - floor));
    EXPECT_TRUE(PortIsFree());
}

// Under faketime the program's clock runs ten times faster, so the raster
// reaches its second row within seconds; under Wine it runs in real time.
TEST(Program, MapOnScreenMatchesTheReplies) {
    std::vector<std::string> args = {"--latency", "1"};
    for (const std::string& a : SimLineArgsFor(true))
        args.push_back(a);
    DeviceProcess sim(args);
    ProgramProcess prog(true);
    unsigned long w = prog.Window();
    ASSERT_NE(w, 0ul);
    ASSERT_TRUE(WaitForCommands(sim, ProgramUnderWine() ? 180 : 270, 90000));
    size_t done = sim.Commands().size(); // ticks whose readings the capture shows
    int width = 0, height = 0;
    std::vector<Rgb> shot = CaptureWindow(w, &width, &height);
    SendKeys(w, "Escape");
    int code = -1;
    ASSERT_TRUE(prog.WaitExit(5000, &code));
    EXPECT_EQ(code, 0);
    ASSERT_EQ(shot.size(), static_cast<size_t>(width) * height);

    BandCheck band = CheckLowestBand(shot, width, height, CellsFromReplies(sim.Commands(), done));
    EXPECT_EQ(band.wrong, 0) << band.wrong << " quads, first " << band.first;
    EXPECT_GT(band.exact, 5) << "the scene has flat stretches to check exactly";
    EXPECT_GT(CheckFarWhereNothingEchoes(shot, width, height, sim.Commands(), done, false), 10)
        << "readings where nothing echoes: the stairwell at the floor's edge";
}

// Natively, the signals that end a session (kill, Ctrl+C in its terminal, the
// terminal or the login going) are close requests as well.
TEST(Program, EscapeCloseRequestAltF4AndSignalsEndItWithZeroAndFreeThePort) {
    DeviceProcess sim({"--latency", "1"});
    std::vector<std::string> ways = {"Escape", "close", "alt+F4"};
    if (!ProgramUnderWine())
        ways.insert(ways.end(), {"SIGTERM", "SIGINT", "SIGHUP"});
    for (const std::string& way : ways) {
        size_t before = sim.Commands().size();
        ProgramProcess prog(true);
        unsigned long w = prog.Window();
        ASSERT_NE(w, 0ul) << way;
        ASSERT_TRUE(WaitForCommands(sim, before + 3, 10000)) << way;
        double t0 = NowMs();
        if (way == "close")
            SendCloseRequest(w);
        else if (way.compare(0, 3, "SIG") == 0)
            kill(prog.pid, way == "SIGTERM" ? SIGTERM : way == "SIGINT" ? SIGINT : SIGHUP);
        else
            SendKeys(w, way.c_str());
        // Sped up, a tick is over in a few ms of real time: the bound is the
        // answer, its X round trips and a busy machine's holds.
        EXPECT_TRUE(prog.WindowGone(AnswerBoundMs())) << way;
        EXPECT_LT(NowMs() - t0, AnswerBoundMs()) << way;
        int code = -1;
        ASSERT_TRUE(prog.WaitExit(5000, &code)) << way;
        EXPECT_EQ(code, 0) << way;
        EXPECT_TRUE(PortIsFree()) << way;
    }
}

// With no display to show the map on, it says why in one line and ends,
// before it takes the port: the line is never configured.
TEST(Program, WithNoDisplaySaysWhyAndLeavesThePortAlone) {
    if (ProgramUnderWine())
        GTEST_SKIP() << "a Windows program always has a desktop";
    DeviceProcess sim({"--latency", "1"});
    std::string program =
        getenv("RANGESCAN_PROGRAM") ? getenv("RANGESCAN_PROGRAM") : RANGESCAN_PROGRAM;
    ChildSpec spec;
    spec.argv = {program};
    spec.withStderr = true;
    spec.withoutDisplay = true;
    std::string said;
    int code = RunToEnd(spec, &said);
    EXPECT_GT(code, 0);
    EXPECT_LT(code, 128) << "ended by a signal";
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(said.rfind("rangescan: cannot make its window: ", 0), 0u) << said;
    EXPECT_NE(said.find("DISPLAY"), std::string::npos) << "names the cause: " << said;
    usleep(100000);
    EXPECT_LT(sim.LineConfiguredMs(), 0) << "the port was not configured";
    EXPECT_TRUE(PortIsFree());
}

} // namespace
