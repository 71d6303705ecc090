#include "core/session/SessionButtons.h"

#include "core/shell/MainControls.h"

namespace session {

void DestacarSolicitacao(shell::MainControls& c, bool destacar)
{
    if (destacar) {
        c.lblStatus.setLook({15, true, QColor(160, 60, 0), {}});
        c.cmdPermitir.setText(QStringLiteral("PERMITIR ACESSO"));
        c.cmdPermitir.setLook({10, true, {}, QColor(0, 150, 80)});
    } else {
        c.lblStatus.setLook({10, false, {}, {}});
        c.cmdPermitir.setText(QStringLiteral("Permitir acesso"));
        c.cmdPermitir.setLook({10, false, {}, {}});
    }
}

void RestaurarBotoesSessao(shell::MainControls& c)
{
    c.cmdPermitir.setEnabled(false);
    c.cmdRecusar.setEnabled(false);
    c.cmdEncerrar.setEnabled(false);
    c.cmdSolicitar.setEnabled(true);
    c.txtCodigoAcessar.setEnabled(true);
    c.cmdCopiarCodigo.setEnabled(true);
}

}  // namespace session
