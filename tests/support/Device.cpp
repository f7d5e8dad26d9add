#include "Device.h"

#include <cstdio>
#include <sstream>

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
