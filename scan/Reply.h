// Turns the scanner's reply, an echo time in microseconds written as decimal
// digits, into a one-way range in centimetres.
#pragma once

// Microseconds a centimetre, one way: the program's copy of the scanner's
// ECHO_US_PER_CM (firmware/scanner/config.h), which the reply tests hold it to.
const float REPLY_US_PER_CM = 29.1f;

// The value of one digit character; any other byte counts as 0.
int CharToInt(char val);

// The range for the first `len` bytes of `str`, each taken as one decimal
// digit. Accumulated in single precision; `len` of 0 or less gives 0.
float DecodeReply(const char* str, int len);
