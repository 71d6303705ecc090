#include "relay/RelayReplies.h"

#include <array>

namespace relay {

namespace {

struct RefusalRow {
    Refusal refusal;
    std::string_view reason;   // to the peer
    std::string_view logName;  // to the log
};

constexpr std::array<RefusalRow, 12> kRefusals{{
    {Refusal::BadJoinLine, "linha JOIN invalida", "bad-join-line"},
    {Refusal::BadProofLine, "linha PROVA invalida", "bad-proof-line"},
    {Refusal::UnknownProtocol, "protocolo do relay nao suportado", "unknown-protocol"},
    {Refusal::BadRole, "papel invalido", "bad-role"},
    {Refusal::JoinLineTooLong, "linha JOIN longa demais", "join-line-too-long"},
    {Refusal::JoinTimeout, "tempo esgotado esperando a linha JOIN", "join-timeout"},
    {Refusal::NotAccepted, "sessao nao autorizada", "session-not-accepted"},
    {Refusal::UnpairedTimeout, "tempo esgotado esperando o outro computador", "unpaired-timeout"},
    {Refusal::TooManyEarlyBytes, "dados demais antes do pareamento", "too-many-early-bytes"},
    {Refusal::Replaced, "substituido por uma nova conexao", "replaced"},
    {Refusal::TooManyConnections, "conexoes demais deste endereco", "too-many-connections"},
    {Refusal::RelayFull, "relay lotado, tente novamente mais tarde", "relay-full"},
}};

const RefusalRow& RowOf(Refusal refusal)
{
    for (const RefusalRow& row : kRefusals)
        if (row.refusal == refusal)
            return row;
    return kRefusals.front();
}

}  // namespace

std::string RefusalLine(Refusal refusal)
{
    std::string line = "ERR|";
    line += RowOf(refusal).reason;
    line += '\n';
    return line;
}

std::string_view RefusalLogName(Refusal refusal) { return RowOf(refusal).logName; }

}  // namespace relay
