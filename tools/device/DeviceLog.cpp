#include "tools/device/DeviceLog.h"

#include "tools/device/Tool.h"

#include <cstdarg>

void OpenLog(DeviceLog& log, const std::string& path, double start) {
    log.start = start;
    if (path.empty())
        return;
    if (!(log.file = fopen(path.c_str(), "w")))
        Fail("cannot write " + path);
    Log(log, start, "clock %.3f", start);
}

void Log(DeviceLog& log, double ms, const char* format, ...) {
    if (!log.file)
        return;
    fprintf(log.file, "%.3f ", ms - log.start);
    va_list args;
    va_start(args, format);
    vfprintf(log.file, format, args);
    va_end(args);
    fputc('\n', log.file);
    fflush(log.file);
}

void CloseLog(DeviceLog& log) {
    if (log.file)
        fclose(log.file);
    log.file = nullptr;
}
