// rangescan-capture: takes the scanner's raster through the program's own
// port and tick (the drain, the quiet gap, the bounds, the decoding), each
// command sent as soon as the last reply has ended, and keeps it as a table,
// a point cloud and a picture. Written against the same Win32 calls as the
// program (on Windows the system's, elsewhere the stand-in's).
#include "SerialClass.h"
#include "firmware/scanner/config.h"
#include "scan/Acquire.h"
#include "tools/capture/CaptureOptions.h"
#include "tools/capture/KeptFiles.h"
#include "tools/capture/Progress.h"
#include "tools/device/Tool.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// With no reading of digits from this many first aims, the scanner is not
// answering: the capture stops rather than keep an empty raster for an hour.
const size_t FIRST_AIMS = 3;
// A console being closed ends the process once its handler returns; this is
// the longest the handler holds it for the files to be written.
const int CLOSE_WAIT_MS = 4500;

enum ExitCode { DONE = 0, SCANNER = 1, PORT = 2, STOPPED = 3 };

std::atomic<bool> stopAsked(false), filesKept(false);

BOOL WINAPI OnConsoleEvent(DWORD event) {
    // A second Ctrl+C ends it at once, as if nothing caught it.
    if (stopAsked && (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT))
        return FALSE;
    stopAsked = true;
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return TRUE;
    for (int waited = 0; waited < CLOSE_WAIT_MS && !filesKept; waited += 10)
        Sleep(10);
    return TRUE;
}

std::string EveryNth(long n) {
    if (n == 1)
        return "every column and row";
    const char* th = n % 100 / 10 == 1 ? "th"
                     : n % 10 == 1     ? "st"
                     : n % 10 == 2     ? "nd"
                     : n % 10 == 3     ? "rd"
                                       : "th";
    return "every " + std::to_string(n) + th + " column and row";
}

bool Exists(const std::string& path) {
    FILE* f = fopen(path.c_str(), "r");
    if (f)
        fclose(f);
    return f != nullptr;
}

// One aim: `pings` exchanges of the program's tick, with no pause between
// them (fewer once a stop is asked for); the lower median of the readings
// that came is kept with its reply.
Taken TakeAim(ScanState& s, Serial& port, const Aim& a, long pings) {
    std::vector<std::pair<float, std::string>> got;
    for (long i = 0; i < pings && !(i > 0 && stopAsked); i++) {
        s.buffer[0] = a.h;
        s.buffer[1] = a.v;
        int len = 0;
        float cm = ExchangeCommand(s, port, GetTickCount(), &len);
        if (cm != NO_READING)
            got.emplace_back(cm, std::string(s.str, static_cast<size_t>(len)));
    }
    if (got.empty())
        return {a, "", NO_READING, 0};
    std::stable_sort(got.begin(), got.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    const auto& median = got[(got.size() - 1) / 2];
    return {a, median.second, median.first, 0};
}

// Why the first aims gave no reading, and what to do.
std::string NoReading(const std::vector<Taken>& taken, const std::string& port) {
    bool heard = std::any_of(taken.begin(), taken.end(),
                             [](const Taken& t) { return KindOf(t) != NO_REPLY; });
    std::string probe = "rangescan-probe " + port + " checks it step by step.";
    if (heard)
        return "The first aims got bytes, but no echo time in digits: the board may run\n"
               "other firmware, or speak at another line speed than " +
               std::to_string(SCANNER_BAUD) +
               " baud. Flash the scanner's\nfirmware (docs/scanner.md).\n" + probe;
    return "No reply to the first aims within 1 s each. The board may have no scanner\n"
           "firmware, or need longer to start (--wait-ms), or its ranger may not be\n"
           "wired. Flash it (docs/scanner.md) and check the wiring.\n" +
           probe;
}

// Writes the cloud and the picture, and says where the files are and what
// they hold.
bool Keep(const CaptureOptions& o, const std::vector<Taken>& taken, size_t total) {
    bool ok = WriteCloud(o.out + ".ply", taken, o.scale);
    if (!ok)
        fprintf(stderr, "rangescan-capture: cannot write %s.ply\n", o.out.c_str());
    if (!WritePicture(o.out + ".png", taken, static_cast<int>(o.step), o.scale)) {
        fprintf(stderr, "rangescan-capture: cannot write %s.png\n", o.out.c_str());
        ok = false;
    }
    size_t kinds[4] = {0, 0, 0, 0};
    for (const Taken& t : taken)
        kinds[KindOf(t)]++;
    printf("Kept %zu of %zu aims in %s.csv, %s.ply and %s.png:\n"
           "%zu echoed, %zu had no echo (nothing within 4 m), %zu got no reply",
           taken.size(), total, o.out.c_str(), o.out.c_str(), o.out.c_str(), kinds[ECHOED],
           kinds[NO_ECHO], kinds[NO_REPLY]);
    if (kinds[GARBLED])
        printf(", %zu got bytes that are not digits", kinds[GARBLED]);
    printf(".\n");
    fflush(stdout);
    return ok;
}

// Takes the aims in order, a row of the table each, with the progress shown,
// until all are taken, a stop is asked, the table cannot be written, the port
// fails, or the scanner gave no reading to the first aims; *why says which.
ExitCode TakeRaster(Serial& port, const CaptureOptions& o, const std::vector<Aim>& aims,
                    FILE* table, std::vector<Taken>& taken, std::string* why) {
    static ScanState scan;
    InitScanState(scan, GetTickCount());
    Progress progress = StartProgress(static_cast<int>(aims.size()));
    ExitCode code = DONE;
    DWORD first = GetTickCount();
    for (const Aim& a : aims) {
        if (stopAsked) {
            code = STOPPED;
            *why = "Stopped: the files hold the aims taken so far.";
            break;
        }
        DWORD at = GetTickCount();
        Taken t = TakeAim(scan, port, a, o.pings);
        t.ms = at - first;
        taken.push_back(t);
        if (!WriteRow(table, t)) {
            code = PORT;
            *why = "Cannot write " + o.out + ".csv: is the disk full?";
            break;
        }
        ShowProgress(progress, static_cast<int>(taken.size()), GetTickCount() - first);
        if (port.countData() < 0) {
            code = PORT;
            *why = o.port + " failed while the capture used it: the board was unplugged, or\n"
                            "browned out so far that its USB chip reset.";
            break;
        }
        if (taken.size() == std::min(FIRST_AIMS, aims.size()) &&
            std::none_of(taken.begin(), taken.end(), [](const Taken& k) {
                return KindOf(k) == ECHOED || KindOf(k) == NO_ECHO;
            })) {
            code = SCANNER;
            *why = NoReading(taken, o.port);
            break;
        }
    }
    EndProgress(progress);
    return code;
}

} // namespace

int main(int argc, char** argv) {
    SetToolName("rangescan-capture");
    CaptureOptions o = ParseCaptureArgs(argc, argv);
    for (const char* ext : {".csv", ".ply", ".png"})
        if (!o.force && Exists(o.out + ext))
            Fail(o.out + ext + " is there already: name another OUT, or replace it with --force");
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);

    std::vector<Aim> aims = RasterAims(static_cast<int>(o.step));
    printf("rangescan-capture: %zu aims from %s, %s, waiting %ld ms for the board to start\n",
           aims.size(), o.port.c_str(), EveryNth(o.step).c_str(), o.waitMs);
    fflush(stdout);
    Serial port(PortOpenName(o.port).c_str(), static_cast<DWORD>(o.waitMs));
    if (!port.IsConnected()) {
        printf("\n");
        fflush(stdout);
        Fail(o.port + " cannot be used (rangescan's message for it is above); rangescan-probe " +
             o.port + " says why and what to do");
    }
    FILE* table = OpenTable(o.out + ".csv");
    if (!table)
        Fail("cannot write " + o.out + ".csv");

    std::vector<Taken> taken;
    std::string why;
    ExitCode code = TakeRaster(port, o, aims, table, taken, &why);
    bool kept = fclose(table) == 0;
    kept = Keep(o, taken, aims.size()) && kept;
    filesKept = true;
    if (!why.empty())
        printf("%s\n", why.c_str());
    fflush(stdout);
    if (!kept && code == DONE)
        code = PORT;
    return code;
}
