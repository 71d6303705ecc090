#include "server/ServerLog.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <sys/time.h>
#include <unistd.h>

void ServerLog(const char* format, ...)
{
    char line[1024];
    timeval now{};
    gettimeofday(&now, nullptr);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    int length = static_cast<int>(strftime(line, sizeof line, "%Y-%m-%dT%H:%M:%S", &utc));
    length += std::snprintf(line + length, sizeof line - length, ".%03dZ ", static_cast<int>(now.tv_usec / 1000));
    va_list args;
    va_start(args, format);
    const int body = std::vsnprintf(line + length, sizeof line - length - 1, format, args);
    va_end(args);
    length = body < 0 ? length : std::min<int>(length + body, sizeof line - 2);
    line[length++] = '\n';
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line, static_cast<size_t>(length));
}
