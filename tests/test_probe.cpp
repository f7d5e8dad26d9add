// The test host for a scanner's port, end to end: against the simulated
// scanner answering well, silent or with garbage, and against a COM6 that is
// missing or no serial line. Natively, or the Windows build under Wine.
#include "support/Device.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

struct Case {
    std::vector<std::string> args; // the simulator's, beside --latency 5
    int code;
    const char* verdict;
};

// A good scanner passes, also one that sends a stray byte at its reset (the
// start-up wait is not cut short by it); a silent one and one that answers
// garbage fail at their first command, a few seconds after the start-up wait.
// A verdict lets the port go: a second run finds it free.
TEST(Probe, PassesAGoodScannerAndFailsASilentOrGarbledOne) {
    const Case cases[] = {
        {{}, 0, "Verdict: PASS: the scanner on COM6 works"},
        {{"--unasked", "7", "--unasked-ms", "20"}, 0, "Verdict: PASS: the scanner on COM6 works"},
        {{"--fault", "silent"}, 1, "Verdict: FAIL: the scanner does not answer"},
        {{"--fault", "garbage"}, 1, "Verdict: FAIL: the scanner's answer is no reading"}};
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--latency", "5"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::string name = c.args.empty() ? "good" : c.args[1];
        DeviceProcess sim(args);
        std::string out;
        double t0 = NowMs();
        EXPECT_EQ(RunProbe("", &out), c.code) << out;
        // The probe's start-up wait, at most three answer bounds, and its
        // start, its port's open and its end: a verdict, not a hang.
        EXPECT_LT(NowMs() - t0, 2000 + 3 * 1000.0 + 3000) << name;
        EXPECT_NE(out.find(c.verdict), std::string::npos) << out;
        auto cmds = sim.Commands();
        ASSERT_FALSE(cmds.empty()) << name;
        // The probe sets the line after the simulator's last look that found
        // it unset, and its first command is stamped after its write: no
        // delay of a busy machine can shorten what this sees of its wait.
        EXPECT_GE(cmds[0].ms - sim.LineConfiguredAfterMs(), 2000.0)
            << name << ": the whole start-up wait";
        if (c.code == 0) {
            EXPECT_NE(out.find("9 of 9 aims answered"), std::string::npos) << out;
        } else {
            out.clear();
            EXPECT_EQ(RunProbe("", &out), c.code) << "the port is free again: " << out;
        }
    }
}

// No port, or a COM6 that names a plain file: the verdict names the cause and
// the program's message for it.
TEST(Probe, SaysWhyThePortCannotBeUsed) {
    std::string folder = UsePrivatePortsFolder();
    const char* wineLink = getenv("RANGESCAN_COM6_LINK");
    std::string link = wineLink ? wineLink : folder + "/com6", file = folder + "/not-a-port";
    if (wineLink)
        file = std::string(wineLink) + ".not-a-port";
    unlink(link.c_str());
    std::string out;
    EXPECT_EQ(RunProbe("", &out), 2) << out;
    EXPECT_NE(out.find("There is no port COM6"), std::string::npos) << out;
    EXPECT_NE(out.find("Reason: COM6 not available."), std::string::npos) << out;

    fclose(fopen(file.c_str(), "w"));
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
    out.clear();
    EXPECT_EQ(RunProbe("", &out), 2) << out;
    EXPECT_NE(out.find("is not a serial port"), std::string::npos) << out;
    unlink(link.c_str());
    unlink(file.c_str());
}

} // namespace
