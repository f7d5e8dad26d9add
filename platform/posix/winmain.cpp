// Stand-in for the Windows entry: the C runtime's main calls the program's
// WinMain with an instance handle, no previous instance, the command line after
// the program's name, and the default show mode, and returns its result. The
// signals that end a session reach the program's windows as close requests.
// Left out: quoting of arguments in the command line (they are joined with spaces).
#include "gui.h"

#include <string>

int main(int argc, char** argv) {
    static char instance;
    CatchCloseSignals();
    std::string commandLine;
    for (int i = 1; i < argc; i++) {
        if (i > 1)
            commandLine += ' ';
        commandLine += argv[i];
    }
    return WinMain(reinterpret_cast<HINSTANCE>(&instance), nullptr, &commandLine[0],
                   SW_SHOWDEFAULT);
}
