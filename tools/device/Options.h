// A tool's options as one table: each row names an option, its value and its
// help, and takes the value. The same rows print --help (and so the man
// pages, made from it) and parse the command line.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct OptionRow {
    std::string name;  // "--latency", or a word such as "PORT" for what is not an option
    std::string value; // the value's name ("MS"); empty for a flag
    std::string help;  // lines after the first are indented to the help column
    // Takes the value (null for a flag). Empty for a row that only prints.
    std::function<void(const char* value)> take;
};

struct Usage {
    std::string head;            // "Usage: ..." and what comes before the rows
    std::vector<OptionRow> rows; // in the order --help lists them
    std::string tail;            // after the rows
    int column = 0;              // where the help column starts
};

// The rows of the tools that open the scanner's port (the probe, the
// capture): the PORT word, and --wait-ms into *waitMs, its default as it
// stands.
OptionRow PortWordRow();
// --version, which ParseOptions answers itself; every tool lists it last.
OptionRow VersionRow();
OptionRow WaitMsRow(long* waitMs);

// The usage text: head, a line or more for each row, tail.
std::string UsageText(const Usage& u);

// Reads argv by the table. --help (or -h) prints the usage and exits 0,
// --version prints the version and exits 0; an unknown option, or a word the
// tool does not take (`word` null or returning false), prints the usage on
// standard error and fails.
void ParseOptions(int argc, char** argv, const Usage& u,
                  const std::function<bool(const char* word)>& word = nullptr);

// `text` word-wrapped for a row's help: lines of at most `width` characters
// when they start at `column`. For help made from a table.
std::string Wrapped(const std::string& text, int column, int width = 80);
