#pragma once

#include <cstddef>
#include <string>

namespace relaybench {

// Blocking loopback sockets for the benchmark's side of the relay.
int ConnectLoopback(unsigned short port);
// A connected pair through a listening socket of its own: the direct reference.
void DirectPair(int& writer, int& reader);
void SendAll(int fd, const char* data, std::size_t n);
// Reads exactly n bytes into a scratch buffer; false on EOF or error.
bool ReceiveAll(int fd, std::size_t n);
// Reads one line (with its LF); empty on EOF.
std::string ReceiveLine(int fd);

std::string JoinLine(const std::string& sessaoId, const std::string& role);

}  // namespace relaybench
