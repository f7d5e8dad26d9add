// A test definition of Serial: the class exactly as the program declares it,
// its operations answering from a scripted line instead of a port. Link it in
// place of Serial.cpp.
#pragma once

#include "SerialClass.h"

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct ScriptedLine {
    // The device: what it answers to each command, queued at once.
    std::function<std::string(BYTE h, BYTE v)> device;
    std::string waiting;                   // bytes queued for the host
    std::deque<std::string> trickle;       // chunks arriving one per countData call
    std::vector<std::pair<int, int>> sent; // every command written
    std::vector<DWORD> sentAt;             // the tick count at each write
    bool gone = false;                     // the port fails from now on
    // Called as each countData call begins and as it returns, with how many
    // came before it: where a test holds the program, as a busy machine may.
    std::function<void(int counts)> beforeCount, afterCount;
    int counts = 0;
};

// The line the next Serial constructed is attached to (null: the open fails).
void AttachLine(ScriptedLine* line);
