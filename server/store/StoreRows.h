#pragma once

#include "server/store/Store.h"

// What both databases read a code and a session from: one column list each,
// so every reader agrees, and readers for any row type with Int(column) and
// Text(column).

namespace store {

#define STORE_CODE_COLUMNS \
    "c.id, c.codigo, c.cliente_device_id, c.expires_at, c.state, c.tecnico_device_id, c.tecnico_nome, " \
    "c.ip_cliente, c.session_id, c.versao_link_tecnico"
constexpr int kCodeColumnCount = 10;
#define STORE_SESSION_COLUMNS \
    "s.id, s.code_id, s.cliente_device_id, s.tecnico_device_id, s.stream_key, s.ip_local_cliente, " \
    "s.porta_cliente, s.ended, s.versao_link_cliente, s.versao_link_tecnico"

template <typename Row>
Code ReadCode(const Row& q, int first = 0)
{
    Code c;
    c.id = q.Int(first);
    c.codigo = q.Text(first + 1);
    c.clienteDeviceId = q.Int(first + 2);
    c.expiresAt = q.Int(first + 3);
    c.state = CodeStateFromName(q.Text(first + 4)).value_or(CodeState::Ended);
    c.tecnicoDeviceId = q.Int(first + 5);
    c.tecnicoNome = q.Text(first + 6);
    c.ipCliente = q.Text(first + 7);
    c.sessionId = q.Int(first + 8);
    c.versaoLinkTecnico = static_cast<int>(q.Int(first + 9));
    return c;
}

template <typename Row>
Session ReadSession(const Row& q, int first = 0)
{
    Session s;
    s.id = q.Int(first);
    s.codeId = q.Int(first + 1);
    s.clienteDeviceId = q.Int(first + 2);
    s.tecnicoDeviceId = q.Int(first + 3);
    s.streamKey = q.Text(first + 4);
    s.ipLocalCliente = q.Text(first + 5);
    s.portaCliente = static_cast<int>(q.Int(first + 6));
    s.ended = q.Int(first + 7) != 0;
    s.versaoLinkCliente = static_cast<int>(q.Int(first + 8));
    s.versaoLinkTecnico = static_cast<int>(q.Int(first + 9));
    return s;
}

}  // namespace store
