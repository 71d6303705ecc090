#include "core/account/AccountActions.h"

#include "core/account/AccountStore.h"
#include "core/account/Activation.h"
#include "core/api/ApiClient.h"
#include "core/api/Json.h"
#include "core/shell/Dialogs.h"
#include "core/shell/frmMain.h"

namespace account {

void AccountActions::cmdAtivar_Click()
{
    shell::MainControls& c = w_.c;
    const QString body = ActivationBody(c.txtEmail.text(), c.txtCodigoAtivacao.text(), c.txtDispositivo.text());
    const QString reply = api::ApiPost("ativar.php", body);
    w_.LogEvent("Ativar: " + reply);
    const QString token = api::JsonGetValue(reply, "token");
    if (!api::JsonIsOk(reply) || token.isEmpty())
        return;
    c.txtToken.setText(token);
    w_.svc.store.SaveAccount(c.txtNome.text(), c.txtEmail.text(), token);
    w_.LogEvent("Conta ativada e token salvo neste computador.");
    w_.RecarregarConta(true);
}

void AccountActions::cmdValidar_Click()
{
    const QString reply = api::ApiPost("validar_token.php", w_.ContaParams());
    w_.LogEvent("Validar token: " + reply);
}

void AccountActions::cmdCadastrar_Click() { w_.MostrarCadastro(); }

void AccountActions::LicencaRemovida()
{
    if (!w_.s.sessao_id.isEmpty())
        w_.end.EncerrarSessao("licenca_removida");
    w_.loss.PararTelaRemota(true);
    w_.RecarregarConta(false);
    w_.c.txtCodigoReceber.setText({});
    w_.c.txtCodigoAcessar.setText({});
    w_.SetStatus("Licenca removida deste computador.");
    w_.LogEvent("Licenca local removida.");
}

bool AccountActions::RemoverLicenca()
{
    const auto answer = w_.svc.dialogs.MessageBox("Remover a licenca salva neste computador?", "Marquelin",
                                                  shell::MessageIcon::Question, shell::MessageButtons::YesNo);
    if (answer != shell::MessageAnswer::Yes)
        return false;
    w_.svc.store.RemoveAccount();
    LicencaRemovida();
    return true;
}

}  // namespace account
