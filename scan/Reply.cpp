#include "scan/Reply.h"

int CharToInt(char val) {
    if (val >= '0' && val <= '9')
        return val - '0';
    return 0;
}

float DecodeReply(const char* str, int len) {
    float value = 0.0f;
    for (int i = 0; i < len; i++) {
        // The product is rounded to single precision before the digit is added
        // (the build keeps the compiler from fusing the two).
        float shifted = value * 10.0f;
        value = shifted + static_cast<float>(CharToInt(str[i]));
    }
    value = value / 2.0f;
    value = value / REPLY_US_PER_CM;
    return value;
}
