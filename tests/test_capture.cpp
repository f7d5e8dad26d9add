// The capture tool end to end, against the simulated scanner: the three files
// it keeps (the cloud read back by Open3D, the picture by stb_image), a
// capture stopped with Ctrl+C, and a kept scan replayed. Natively, or the
// Windows build under Wine.
#include "firmware/scanner/config.h"
#include "support/Child.h"
#include "support/Device.h"
#include "support/MapColour.h"

#include <gtest/gtest.h>

#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Row {
    int h, v;
    double pan, tilt, ms;
    std::string reply, cm, x, y, z;
};

std::vector<Row> ReadTable(const std::string& path, std::string* header) {
    std::ifstream in(path);
    std::getline(in, *header);
    std::vector<Row> rows;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string s; std::getline(fields, s, ',');)
            f.push_back(s);
        EXPECT_EQ(f.size(), 10u) << line;
        if (f.size() != 10)
            break;
        rows.push_back({std::stoi(f[0]), std::stoi(f[1]), std::stod(f[2]), std::stod(f[3]),
                        std::stod(f[9]), f[4], f[5], f[6], f[7], f[8]});
    }
    return rows;
}

// The raster's aims at `step`, as the program's raster is laid out: columns
// 0..151 (h = 5 + column) and rows 0..140 (v = 140 - row), serpentine.
std::vector<std::pair<int, int>> Aims(int step) {
    std::vector<std::pair<int, int>> aims;
    for (int r = 0, n = 0; r <= 140; r += step, n++)
        for (int i = 0; i <= 151 / step; i++)
            aims.push_back({5 + (n % 2 ? 151 / step - i : i) * step, 140 - r});
    return aims;
}

// The cloud as Open3D reads it: a line a point, x y z then red green blue.
std::vector<std::vector<double>> ReadCloud(const std::string& path) {
    std::string script = TestFolder() + "/read_cloud.py";
    std::ofstream(script)
        << "import sys, numpy, open3d\n"
           "open3d.utility.set_verbosity_level(open3d.utility.VerbosityLevel.Error)\n"
           "pc = open3d.io.read_point_cloud(sys.argv[1], format='ply')\n"
           "for p, c in zip(numpy.asarray(pc.points), numpy.asarray(pc.colors)):\n"
           "    print(*p, *(c * 255))\n";
    ChildSpec python;
    python.argv = {"/usr/bin/python3", script, path};
    std::string printed;
    EXPECT_EQ(RunToEnd(python, &printed), 0);
    std::istringstream lines(printed);
    std::vector<std::vector<double>> points;
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::vector<double> v(6);
        for (double& x : v)
            in >> x;
        points.push_back(v);
    }
    return points;
}

bool Echoed(const Row& r) {
    return !r.reply.empty() && std::stod(r.reply) < ECHO_TIMEOUT_US;
}

// The cloud holds the echoed rows' points, in the map's colours on `scale`,
// and names the range and a quality among its properties.
void CheckCloud(const std::string& path, const std::vector<Row>& echoed, double scale) {
    std::ifstream ply(path);
    std::string plyHead((std::istreambuf_iterator<char>(ply)), {});
    plyHead = plyHead.substr(0, plyHead.find("end_header"));
    for (const char* p : {"property float scalar_range", "property float quality"})
        EXPECT_NE(plyHead.find(p), std::string::npos) << plyHead;
    auto points = ReadCloud(path);
    ASSERT_EQ(points.size(), echoed.size());
    for (size_t i = 0; i < points.size(); i++) {
        const Row& r = echoed[i];
        EXPECT_NEAR(points[i][0], std::stod(r.x), 1e-3);
        EXPECT_NEAR(points[i][1], std::stod(r.y), 1e-3);
        EXPECT_NEAR(points[i][2], std::stod(r.z), 1e-3);
        Rgb rgb = MapColour(std::stof(r.cm), static_cast<float>(scale));
        int parts[3] = {rgb.r, rgb.g, rgb.b};
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(points[i][3 + k], parts[k], 0.01) << "point " << i << " part " << k;
    }
}

// The picture shows each aim's block in the map's colours on `scale`.
void CheckPicture(const std::string& path, const std::vector<Row>& rows, int step, double scale) {
    int w = 0, h = 0, n = 0;
    unsigned char* png = stbi_load(path.c_str(), &w, &h, &n, 3);
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(w, 608);
    EXPECT_EQ(h, 564);
    // Each aim's block reaches `step` columns right and rows up, within the
    // raster; row 0 is at the bottom. Its four corners take its colour.
    for (const Row& r : rows) {
        int c = r.h - 5, row = 140 - r.v;
        int x0 = c * 4, x1 = std::min(c + step, 152) * 4 - 1;
        int y0 = (141 - std::min(row + step, 141)) * 4, y1 = (141 - row) * 4 - 1;
        Rgb colour =
            MapColour(r.reply.empty() ? NO_READING : std::stof(r.cm), static_cast<float>(scale));
        std::vector<int> want = {colour.r, colour.g, colour.b};
        for (int y : {y0, y1})
            for (int x : {x0, x1}) {
                const unsigned char* px = png + (y * w + x) * 3;
                EXPECT_EQ((std::vector<int>{px[0], px[1], px[2]}), want)
                    << "aim " << r.h << " " << r.v << " at " << x << "," << y;
            }
    }
    stbi_image_free(png);
}

// The table holds every aim in scan order, each with the reply the scanner
// sent it, decoded, at its angles, and at its point in space; the cloud holds
// the echoed points in the map's colours; the picture shows each aim's block.
TEST(Capture, KeepsEveryAimInOrderAsTableCloudAndPicture) {
    const int step = 10;
    const double scale = 60;
    DeviceProcess sim(
        {"--latency", "1", "--fault", "silent", "--fault-from", "5", "--fault-count", "1"});
    std::string out, base = TestFolder() + "/scan";
    ASSERT_EQ(RunCapture("--step 10 --scale 60 --wait-ms 300 COM6 " + base, &out), 0) << out;
    EXPECT_NE(out.find("1 got no reply"), std::string::npos) << out;

    std::string header;
    std::vector<Row> rows = ReadTable(base + ".csv", &header);
    EXPECT_EQ(header, "h,v,pan_deg,tilt_deg,reply,cm,x_cm,y_cm,z_cm,ms");
    auto aims = Aims(step);
    auto cmds = sim.Commands();
    ASSERT_EQ(rows.size(), aims.size());
    ASSERT_EQ(cmds.size(), aims.size()) << "one command an aim";
    std::vector<Row> echoed;
    for (size_t i = 0; i < rows.size(); i++) {
        const Row& r = rows[i];
        SCOPED_TRACE("row " + std::to_string(i + 1));
        EXPECT_EQ(std::make_pair(r.h, r.v), aims[i]);
        EXPECT_EQ(std::make_pair(cmds[i].h, cmds[i].v), aims[i]);
        EXPECT_EQ(r.reply, cmds[i].note == "silent" ? "" : cmds[i].reply);
        EXPECT_NEAR(r.pan, (r.h - 80.5) / 2, 0.005);
        EXPECT_NEAR(r.tilt, (70 - r.v) / 2.0, 0.005);
        EXPECT_GE(r.ms, i ? rows[i - 1].ms : 0.0);
        if (r.reply.empty()) {
            EXPECT_EQ(r.cm + r.x + r.y + r.z, "");
            continue;
        }
        double cm = std::stod(r.reply) / 2 / ECHO_US_PER_CM, p = r.pan * M_PI / 180,
               t = r.tilt * M_PI / 180;
        EXPECT_NEAR(std::stod(r.cm), cm, 1e-3 * cm);
        if (!Echoed(r)) {
            EXPECT_EQ(r.x + r.y + r.z, "") << "no echo: no point";
            continue;
        }
        echoed.push_back(r);
        EXPECT_NEAR(std::stod(r.x), cm * cos(t) * cos(p), 2e-3);
        EXPECT_NEAR(std::stod(r.y), -cm * cos(t) * sin(p), 2e-3);
        EXPECT_NEAR(std::stod(r.z), cm * sin(t), 2e-3);
    }
    EXPECT_EQ(rows[4].reply, "") << "the silent aim";
    EXPECT_LT(echoed.size(), rows.size() - 1) << "the scene's stairwell has no echo";

    CheckCloud(base + ".ply", echoed, scale);
    CheckPicture(base + ".png", rows, step, scale);
}

// Ctrl+C stops it after the aim under way; the files it leaves hold the
// raster's first aims, whole, and read as they should.
TEST(Capture, StoppedItKeepsAValidPrefix) {
    if (getenv("RANGESCAN_WINE_CAPTURE"))
        GTEST_SKIP() << "Ctrl+C reaches a console under Wine differently";
    DeviceProcess sim({"--latency", "1"});
    std::string base = TestFolder() + "/stopped";
    ChildSpec spec;
    spec.argv = {RANGESCAN_CAPTURE, "--wait-ms", "300", "COM6", base};
    Child capture(spec);
    double t0 = NowMs();
    while (sim.Commands().size() < 30 && NowMs() - t0 < 10000)
        usleep(20000);
    capture.Signal(SIGINT);
    int code = -1;
    ASSERT_TRUE(capture.Wait(5000, &code));
    EXPECT_EQ(code, 3);

    std::string header;
    std::vector<Row> rows = ReadTable(base + ".csv", &header);
    auto aims = Aims(1);
    ASSERT_GE(rows.size(), 30u);
    ASSERT_LT(rows.size(), 200u);
    for (size_t i = 0; i < rows.size(); i++)
        EXPECT_EQ(std::make_pair(rows[i].h, rows[i].v), aims[i]) << i;
    EXPECT_EQ(ReadCloud(base + ".ply").size(),
              size_t(std::count_if(rows.begin(), rows.end(), Echoed)));
    int w = 0, h = 0, n = 0;
    unsigned char* png = stbi_load((base + ".png").c_str(), &w, &h, &n, 3);
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(w * 1000 + h, 608 * 1000 + 564);
    stbi_image_free(png);
}

// A kept scan replayed: each aim gets the reply kept for the nearest aim the
// capture took (of aims equally near, any), none where it got none.
TEST(Capture, ReplayAnswersFromTheNearestKeptAim) {
    std::string out, kept = TestFolder() + "/kept", again = TestFolder() + "/again";
    {
        DeviceProcess sim(
            {"--latency", "1", "--fault", "silent", "--fault-from", "20", "--fault-count", "1"});
        ASSERT_EQ(RunCapture("--step 10 --wait-ms 300 COM6 " + kept, &out), 0) << out;
    }
    {
        DeviceProcess replay({"--latency", "1", "--replay", kept + ".csv"});
        ASSERT_EQ(RunCapture("--step 7 --wait-ms 300 COM6 " + again, &out), 0) << out;
    }
    std::string header;
    std::vector<Row> from = ReadTable(kept + ".csv", &header),
                     got = ReadTable(again + ".csv", &header);
    ASSERT_EQ(got.size(), Aims(7).size());
    int silent = 0;
    for (const Row& g : got) {
        int best = 1 << 30;
        std::vector<std::string> nearest;
        for (const Row& f : from) {
            int d = (f.h - g.h) * (f.h - g.h) + (f.v - g.v) * (f.v - g.v);
            if (d < best)
                nearest.clear();
            if (d <= best) {
                best = d;
                nearest.push_back(f.reply);
            }
        }
        silent += g.reply.empty();
        EXPECT_NE(std::find(nearest.begin(), nearest.end(), g.reply), nearest.end())
            << g.h << " " << g.v << " got \"" << g.reply << "\"";
    }
    EXPECT_GT(silent, 0) << "aims nearest the one kept without a reply get none";
}

// A silent scanner stops it after its first aims, with the probe's advice
// (exit 1); a missing port ends it before it writes anything (exit 2).
TEST(Capture, ExitCodesSayWhatFailed) {
    std::string out, base = TestFolder() + "/silent";
    {
        DeviceProcess sim({"--fault", "silent"});
        EXPECT_EQ(RunCapture("--wait-ms 300 COM6 " + base, &out), 1) << out;
    }
    EXPECT_NE(out.find("No reply to the first aims"), std::string::npos) << out;
    std::string header;
    EXPECT_EQ(ReadTable(base + ".csv", &header).size(), 3u);
    out.clear();
    unlink((UsePrivatePortsFolder() + "/com6").c_str());
    EXPECT_EQ(RunCapture("--wait-ms 300 COM6 " + TestFolder() + "/none", &out), 2) << out;
    EXPECT_NE(out.find("COM6 not available"), std::string::npos) << out;
    EXPECT_NE(access((TestFolder() + "/none.csv").c_str(), F_OK), 0) << "no file without a port";
}

} // namespace
