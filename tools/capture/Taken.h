// What a capture took at one aim, and what kind of reading it is.
#pragma once

#include "tools/capture/Raster.h"

#include <cstdint>
#include <string>

struct Taken {
    Aim aim;
    std::string reply; // the reply's bytes as received; empty when none came
    float cm;          // as the program decodes the reply; NO_READING with none
    uint32_t ms;       // from the first command to this aim's
};

enum Reading {
    ECHOED,   // digits, an echo within the ranger's reach
    NO_ECHO,  // digits, the ranger's time-out or beyond: nothing in reach
    NO_REPLY, // nothing came within the bound
    GARBLED,  // bytes that are not digits alone
};

Reading KindOf(const Taken& t);
