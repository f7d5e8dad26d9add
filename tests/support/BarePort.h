// A pseudo-terminal linked as COM6 that a test reads and writes directly.
#pragma once

#include <string>

class BarePort {
  public:
    BarePort();
    ~BarePort();
    void Send(const std::string& bytes);
    // Reads what the host wrote, waiting up to waitMs for `count` bytes.
    std::string Receive(size_t count, int waitMs);
    void HangUp();
    int master = -1;
    std::string slavePath, linkPath;
};
