#pragma once

#include <string>
#include <string_view>

namespace relay {

// Lines the relay writes to a side before it forwards anything.
inline constexpr std::string_view kWaitingReply = "OK|AGUARDANDO outro computador\n";
inline constexpr std::string_view kPairedReply = "OK|CONECTADO\n";
// Followed by the challenge and an LF: a version-2 Join's next line answers it.
inline constexpr std::string_view kChallengePrefix = "DESAFIO|";

// Why a connection is sent away.
enum class Refusal {
    BadJoinLine,
    BadProofLine,
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
