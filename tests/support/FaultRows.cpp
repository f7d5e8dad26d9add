#include "FaultRows.h"

#include <fstream>
#include <sstream>

std::vector<std::string> Rows(const std::string& suite) {
    std::vector<std::string> rows;
    std::ifstream cases(RANGESCAN_CASES);
    std::string line;
    while (std::getline(cases, line)) {
        std::istringstream words(line);
        std::string first, row;
        if (!(words >> first) || first != suite)
            continue;
        while (words >> row)
            rows.push_back(row.rfind("native:", 0) == 0 ? row.substr(7) : row);
    }
    return rows;
}

std::vector<std::string> FaultArgs(const std::string& fault, long from, long count) {
    if (fault == "unasked")
        return {"--unasked", "4711", "--unasked-ms", "500"};
    if (fault == "hangup")
        return {"--hangup-after", std::to_string(from)};
    if (fault == "busy")
        return {};
    std::vector<std::string> a = {"--fault",       fault,
                                  "--fault-from",  std::to_string(from),
                                  "--fault-count", std::to_string(count)};
    // Slow: the reply comes after the 1000 ms bound, between two later ticks.
    if (fault == "slow")
        a.insert(a.end(), {"--slow-ms", "1370"});
    if (fault == "split")
        a.insert(a.end(), {"--split-ms", "50"});
    // A burst for good is the simulator's 10,000 bytes. Ten of them in a row
    // would keep the line busy for 8.7 s at 115200 baud, so while the program's
    // recovery is watched each is 2,000 (174 ms of the line).
    if (fault == "burst" && count > 0)
        a.insert(a.end(), {"--burst-bytes", "2000"});
    return a;
}
