#include "tools/device/Options.h"

#include "tools/device/Tool.h"

#include <cstdio>
#include <cstdlib>

std::string UsageText(const Usage& u) {
    std::string text = u.head;
    const std::string indent(static_cast<size_t>(u.column), ' ');
    for (const OptionRow& r : u.rows) {
        std::string left = "  " + r.name + (r.value.empty() ? "" : " " + r.value);
        left.resize(static_cast<size_t>(u.column), ' ');
        text += left;
        for (char c : r.help)
            text += c == '\n' ? "\n" + indent : std::string(1, c);
        text += '\n';
    }
    return text + u.tail;
}

OptionRow PortWordRow() {
    return {"PORT", "",
            "the scanner's port: COMn (on Linux, the link comN in the ports\n"
            "folder, as rangescan finds it) or a device (/dev/ttyACM0)",
            nullptr};
}

OptionRow VersionRow() {
    return {"--version", "", "the version", nullptr};
}

OptionRow WaitMsRow(long* waitMs) {
    return {"--wait-ms", "MS",
            "wait after opening, while the board resets and starts (default " +
                std::to_string(*waitMs) + ")",
            [waitMs](const char* v) { *waitMs = Number(v, "--wait-ms"); }};
}

static const OptionRow* Find(const Usage& u, const std::string& name) {
    for (const OptionRow& r : u.rows)
        if (r.take && r.name == name)
            return &r;
    return nullptr;
}

void ParseOptions(int argc, char** argv, const Usage& u,
                  const std::function<bool(const char* word)>& word) {
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            fputs(UsageText(u).c_str(), stdout);
            exit(0);
        }
        if (a == "--version")
            PrintVersion();
        const OptionRow* r = Find(u, a);
        if (r) {
            r->take(r->value.empty() ? nullptr : OptionValue(argc, argv, &i));
        } else if (a[0] == '-' || !word || !word(argv[i])) {
            fputs(UsageText(u).c_str(), stderr);
            Fail("unknown option: " + a);
        }
    }
}

std::string Wrapped(const std::string& text, int column, int width) {
    std::string out, line;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find(' ', from);
        std::string word = text.substr(from, end == std::string::npos ? end : end - from);
        from = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && column + static_cast<int>(line.size() + 1 + word.size()) > width) {
            out += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return out + line;
}
