#pragma once

#include <QString>

namespace shell { class frmMain; }

namespace session {

// The access request of the technician and the answer of the supported
// side. The two never talk directly here: everything goes through the
// service and reaches the other side on its next status poll.
class AccessRequest {
public:
    explicit AccessRequest(shell::frmMain& window) : w_(window) {}

    void cmdSolicitar_Click();
    void ResponderAcesso(const QString& acao);
    void cmdPermitir_Click() { ResponderAcesso(QStringLiteral("permitir")); }
    void cmdRecusar_Click() { ResponderAcesso(QStringLiteral("recusar")); }

private:
    void AplicarResposta(const QString& acao, const QString& reply);

    shell::frmMain& w_;
};

}  // namespace session
