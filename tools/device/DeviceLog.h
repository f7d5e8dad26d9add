// A device tool's log: one line an event, its time in ms from the log's start
// first; the first line gives that start on CLOCK_MONOTONIC ("0.000 clock MS").
#pragma once

#include <cstdio>
#include <string>

struct DeviceLog {
    FILE* file = nullptr;
    double start = 0;
};
// No file (an empty path): nothing is logged.
void OpenLog(DeviceLog& log, const std::string& path, double start);
void Log(DeviceLog& log, double ms, const char* format, ...) __attribute__((format(printf, 3, 4)));
void CloseLog(DeviceLog& log);
