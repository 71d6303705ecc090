#pragma once

// One line per event on standard error, with a UTC time stamp, written in a
// single call so lines from the service and the relay never interleave.
// Callers never pass tokens or stream keys.
void ServerLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
