// The fault matrix's rows, as tests/cases.txt lists them, and how the
// simulated scanner plays each: its arguments.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The rows of the matrix for `suite` (Recovery or Escape), device faults then
// the port's own, whether or not they run under Wine too.
std::vector<std::string> Rows(const std::string& suite);

// Commands 130 to 139 go wrong: late in row 0, so that row 1, swept back from
// column 151, comes over their columns soon after (by command 200 it has
// passed them by some 30 columns).
const long FAULT_FROM = 130, FAULT_COUNT = 10;
const size_t RECOVERY_COMMANDS = 200;
// The hang-up comes late in row 0, so that the ticks after it reach row 1.
const long HANGUP_AFTER = 140;

// The simulator's arguments for a fault from command `from` on (`count`
// commands, 0: for good).
std::vector<std::string> FaultArgs(const std::string& fault, long from, long count);
