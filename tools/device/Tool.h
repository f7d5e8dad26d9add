// What every device tool shares: its name in messages, failing with one,
// its version, and reading its options.
#pragma once

#include <string>

// The tool's name, for its messages ("rangescan-sim").
void SetToolName(const char* name);
// Prints "NAME: what" on standard error and exits 2.
[[noreturn]] void Fail(const std::string& what);
// Prints the tool's name and rangescan's version, and exits 0.
[[noreturn]] void PrintVersion();
// A whole non-negative number given for option `opt`, or Fail.
long Number(const char* s, const char* opt);
// The name to open the port `name` by (COMn or a device path): COM10 and
// above only as \\.\COMn, as Windows opens them; COM1..COM9 as given, so that
// the program's messages name the port as the user did.
std::string PortOpenName(const std::string& name);
// The value of the option at argv[*i], moving *i past it; Fail when missing.
const char* OptionValue(int argc, char** argv, int* i);
