#include "Device.h"

#include <chrono>
#include <cstdio>
#include <sstream>

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

std::vector<SimProcess::Command> SimProcess::Commands() {
    std::vector<Command> cmds;
    FILE* f = fopen(logPath.c_str(), "r");
    if (!f)
        return cmds;
    char line[512];
    while (fgets(line, sizeof line, f)) {
        std::istringstream in(line);
        Command c;
        std::string kind;
        in >> c.ms >> kind;
        if (kind != "cmd")
            continue;
        in >> c.h >> c.v >> c.reply >> c.note;
        cmds.push_back(c);
    }
    fclose(f);
    return cmds;
}
