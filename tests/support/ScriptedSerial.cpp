#include "ScriptedSerial.h"

static ScriptedLine* nextLine = nullptr;

void AttachLine(ScriptedLine* line) {
    nextLine = line;
}

static ScriptedLine* Line(HANDLE h) {
    return static_cast<ScriptedLine*>(h);
}

Serial::Serial(const char*, DWORD) {
    hSerial = nextLine ? static_cast<HANDLE>(nextLine) : INVALID_HANDLE_VALUE;
    connected = nextLine != nullptr;
    errors = 0;
    status = COMSTAT();
}

Serial::~Serial() {}

int Serial::ReadData(char* buffer, unsigned int nbChar) {
    ScriptedLine* l = connected ? Line(hSerial) : nullptr;
    if (!l || l->gone || l->waiting.empty())
        return -1;
    size_t n = l->waiting.size() < nbChar ? l->waiting.size() : nbChar;
    l->waiting.copy(buffer, n);
    l->waiting.erase(0, n);
    return static_cast<int>(n);
}

bool Serial::WriteData(BYTE* buffer, unsigned int nbChar) {
    ScriptedLine* l = connected ? Line(hSerial) : nullptr;
    if (!l || l->gone || nbChar != 2)
        return false;
    l->sent.emplace_back(buffer[0], buffer[1]);
    l->sentAt.push_back(GetTickCount());
    if (l->device)
        l->waiting += l->device(buffer[0], buffer[1]);
    return true;
}

bool Serial::IsConnected() {
    return connected;
}

bool Serial::isData(int req) {
    int n = countData();
    return n >= 0 && static_cast<DWORD>(n) >= static_cast<DWORD>(req);
}

int Serial::countData() {
    ScriptedLine* l = connected ? Line(hSerial) : nullptr;
    if (l && l->beforeCount)
        l->beforeCount(l->counts);
    if (!l || l->gone)
        return -1;
    if (!l->trickle.empty()) {
        l->waiting += l->trickle.front();
        l->trickle.pop_front();
    }
    if (l->afterCount)
        l->afterCount(l->counts);
    l->counts++;
    return static_cast<int>(l->waiting.size());
}
