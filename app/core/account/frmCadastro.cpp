#include "core/account/frmCadastro.h"

#include "core/account/AccountStore.h"
#include "core/account/Activation.h"
#include "core/api/ApiClient.h"
#include "core/api/FormEncoding.h"
#include "core/api/Json.h"
#include "core/common/Text.h"
#include "core/shell/Dialogs.h"
#include "core/shell/frmMain.h"

namespace account {

using common::TrimSpaces;

frmCadastro::frmCadastro(shell::frmMain& main) : main_(main) {}

void frmCadastro::Avisar(const QString& text, bool problema)
{
    main_.svc.dialogs.MessageBox(text, "Marquelin", problema ? shell::MessageIcon::Warning : shell::MessageIcon::Information);
}

void frmCadastro::Form_Load()
{
    txtNome.setText(main_.svc.store.GetSavedName());
    txtEmail.setText(main_.svc.store.GetSavedEmail());
    txtCodigo.setText({});
}

void frmCadastro::cmdCriar_Click()
{
    if (TrimSpaces(txtNome.text()).isEmpty() || TrimSpaces(txtEmail.text()).isEmpty()) {
        Avisar("Informe nome e e-mail.", true);
        return;
    }
    const QString body = "nome=" + api::UrlEncode(txtNome.text()) + api::FormField("email", txtEmail.text());
    if (api::JsonIsOk(api::ApiPost("cadastro.php", body)))
        Avisar("Cadastro enviado. Confira o codigo no seu e-mail.", false);
    else
        Avisar("Nao foi possivel enviar o cadastro agora.", true);
}

void frmCadastro::cmdAtivar_Click()
{
    if (TrimSpaces(txtCodigo.text()).isEmpty() || TrimSpaces(txtEmail.text()).isEmpty()
        || TrimSpaces(txtNome.text()).isEmpty()) {
        Avisar("Informe nome, e-mail e codigo recebido.", true);
        return;
    }
    AccountStore& store = main_.svc.store;
    const QString reply = api::ApiPost("ativar.php", ActivationBody(txtEmail.text(), txtCodigo.text(), store.GetDeviceUid()));
    if (!api::JsonIsOk(reply)) {
        Avisar("Codigo invalido ou expirado.", true);
        return;
    }
    const QString token = api::JsonGetValue(reply, "token");
    if (token.isEmpty())
        return;
    store.SaveAccount(txtNome.text(), txtEmail.text(), token);
    main_.RecarregarConta(true);
    Avisar("Conta ativada neste computador.", false);
    emit closeRequested();
}

}  // namespace account
