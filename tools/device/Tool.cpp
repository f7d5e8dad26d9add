#include "tools/device/Tool.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

static const char* toolName = "rangescan";

void SetToolName(const char* name) {
    toolName = name;
}

void Fail(const std::string& what) {
    fprintf(stderr, "%s: %s\n", toolName, what.c_str());
    exit(2);
}

void PrintVersion() {
    printf("%s %s\n", toolName, RANGESCAN_VERSION);
    exit(0);
}

long Number(const char* s, const char* opt) {
    char* end;
    errno = 0;
    long v = strtol(s, &end, 10);
    if (errno || *end || v < 0 || end == s)
        Fail(std::string("bad number for ") + opt + ": " + s);
    return v;
}

const char* OptionValue(int argc, char** argv, int* i) {
    if (*i + 1 >= argc)
        Fail(std::string(argv[*i]) + " needs a value");
    return argv[++*i];
}

std::string PortOpenName(const std::string& name) {
    bool com = name.size() > 4 && toupper(name[0]) == 'C' && toupper(name[1]) == 'O' &&
               toupper(name[2]) == 'M';
    return com ? "\\\\.\\" + name : name;
}
