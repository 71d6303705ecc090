#pragma once

#include <string>
#include <string_view>

namespace relay {

// Lines the relay writes to a side before it forwards anything.
inline constexpr std::string_view kWaitingReply = "OK|AGUARDANDO outro computador\n";
inline constexpr std::string_view kPairedReply = "OK|CONECTADO\n";

// Why a connection is sent away.
enum class Refusal {
    BadJoinLine,
    UnknownProtocol,
    BadRole,
    JoinLineTooLong,
    JoinTimeout,
    NotAccepted,
    UnpairedTimeout,
    TooManyEarlyBytes,
    Replaced,
    TooManyConnections,
    RelayFull,
};

// "ERR|<reason>\n": the reason the program shows after "Erro no relay TCP: ".
std::string RefusalLine(Refusal refusal);
// The same reason as the log names it.
std::string_view RefusalLogName(Refusal refusal);

}  // namespace relay
