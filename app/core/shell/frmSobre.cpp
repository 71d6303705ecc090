#include "core/shell/frmSobre.h"

#include "core/account/AccountStore.h"
#include "core/account/UrlOpener.h"
#include "core/api/Deployment.h"
#include "core/shell/frmMain.h"

namespace shell {
namespace {

QString OrNotActivated(const QString& value) { return value.isEmpty() ? QStringLiteral("(nao ativado)") : value; }

}  // namespace

frmSobre::frmSobre(frmMain& main) : main_(main) {}

void frmSobre::Form_Load()
{
    account::AccountStore& store = main_.svc.store;
    lblDados.setText("Usuario: " + OrNotActivated(store.GetSavedName()) + "\r\nE-mail: "
                     + OrNotActivated(store.GetSavedEmail()) + "\r\nVersao: " + QLatin1String(api::AppVersion)
                     + "\r\nSite: " + api::SiteHost());
}

void frmSobre::cmdManual_Click() { main_.svc.urls.OpenUrl(api::HelpUrl()); }
void frmSobre::cmdSoftwares_Click() { main_.svc.urls.OpenUrl(api::MakerUrl()); }

void frmSobre::cmdRemover_Click()
{
    if (!main_.account.RemoverLicenca())
        return;
    emit closeRequested();
    main_.MostrarCadastro();
    main_.c.mnuMinhaConta.setVisible(true);
}

}  // namespace shell
