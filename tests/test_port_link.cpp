// The device tools' side of the port: where they link it, how they leave it,
// and the pseudo-terminal's session, as an ordinary user starts them.
#include "platform/posix/ports.h"
#include "support/Child.h"
#include "support/Device.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The simulator, started as a shell with job control starts a job: the
// leader of a process group of its own. Its standard output goes to `out`.
std::unique_ptr<Child> StartSimAsJob(const std::string& out) {
    ChildSpec spec;
    spec.argv = {RANGESCAN_SIM};
    spec.outFile = out;
    spec.ownGroup = true;
    return std::unique_ptr<Child>(new Child(spec));
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string LinkTarget(const std::string& link) {
    char buf[256];
    ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}

int WaitStatus(pid_t pid) {
    int status = -1;
    waitpid(pid, &status, 0);
    return status;
}

// Started as a job, the simulator still gives its terminal a session of its
// own (Wine's server then cannot take it), stays in its job for Ctrl+C, and
// whenever a stop comes its link and the link's mark go with it.
TEST(PortLink, ASimulatorStartedAsAJobHoldsItsTerminalAndLeavesNothingBehind) {
    std::string folder = UsePrivatePortsFolder(), link = folder + "/com6";
    std::string out = folder + "/sim.out";
    std::unique_ptr<Child> sim = StartSimAsJob(out);
    double until = NowMs() + 5000;
    while (LinkTarget(link).empty() && NowMs() < until)
        usleep(5000);
    std::string slave = LinkTarget(link);
    ASSERT_FALSE(slave.empty()) << "no link";
    EXPECT_TRUE(Exists(LinkMarkPath(link)));
    EXPECT_EQ(getpgid(sim->Pid()), sim->Pid()) << "still the leader of its job";
    pid_t other = fork();
    if (other == 0) { // a new session taking the terminal, as Wine's server would
        setsid();
        int fd = open(slave.c_str(), O_RDWR | O_NOCTTY);
        _exit(fd >= 0 && ioctl(fd, TIOCSCTTY, 0) != 0 && errno == EPERM ? 0 : 1);
    }
    int status = WaitStatus(other);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the terminal is already a session's own";
    sim->Signal(SIGINT);
    int code = -1;
    EXPECT_TRUE(sim->Wait(5000, &code));
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(Exists(link));
    EXPECT_FALSE(Exists(LinkMarkPath(link)));

    // A stop at any moment of the start: nothing left once it has ended.
    for (int ms = 0; ms < 40; ms += 4) {
        std::unique_ptr<Child> s = StartSimAsJob(out);
        usleep(static_cast<useconds_t>(ms * 1000));
        s->End(SIGTERM);
        EXPECT_FALSE(Exists(link)) << "stopped " << ms << " ms into its start";
        EXPECT_FALSE(Exists(LinkMarkPath(link))) << ms;
    }
}

// What the tools never do to a user's files, and where they link with no
// HOME: the same folder the program looks in.
TEST(PortLink, AToolReplacesOnlyLinksAndFindsTheHomeFolderAsTheProgramDoes) {
    std::string folder = UsePrivatePortsFolder(), notes = folder + "/notes.txt";
    FILE* f = fopen(notes.c_str(), "w");
    fputs("keep me\n", f);
    fclose(f);
    ChildSpec sim;
    sim.argv = {RANGESCAN_SIM, "--link", notes, "--force"};
    sim.withStderr = true;
    std::string said;
    EXPECT_EQ(RunToEnd(sim, &said, 5000), 2) << said;
    EXPECT_NE(said.find("is not a link"), std::string::npos) << said;
    f = fopen(notes.c_str(), "r");
    ASSERT_NE(f, nullptr) << "the file is still there";
    char buf[32] = "";
    EXPECT_STREQ(fgets(buf, sizeof buf, f), "keep me\n");
    fclose(f);

    std::string xdg = getenv("XDG_CONFIG_HOME"), home = getenv("HOME") ? getenv("HOME") : "";
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("HOME");
    std::string found = PortsFolder();
    setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    if (!home.empty())
        setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(found, std::string(getpwuid(getuid())->pw_dir) + "/.config/rangescan/ports");
}

} // namespace
