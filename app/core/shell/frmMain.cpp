#include "core/shell/frmMain.h"

#include "core/account/AccountStore.h"
#include "core/account/UrlOpener.h"
#include "core/account/frmCadastro.h"
#include "core/api/ApiClient.h"
#include "core/api/Deployment.h"
#include "core/api/FormEncoding.h"
#include "core/api/VersionCheck.h"
#include "core/common/Text.h"
#include "core/imaging/DrawSurface.h"
#include "core/session/SessionButtons.h"
#include "core/shell/Dialogs.h"
#include "core/shell/SingleInstance.h"
#include "core/shell/frmSobre.h"
#include "core/time/Clock.h"

namespace shell {

using common::TrimSpaces;

namespace {

// The screen of a window given no capture backend: there is nothing to grab.
class NoScreenSource final : public imaging::ScreenSource {
public:
    bool Geometry(imaging::ScreenRect*, QString* error) override { return Refuse(error); }
    bool Grab(QSize, imaging::Frame*, QString* error) override { return Refuse(error); }
    bool ReadCursor(imaging::CursorImage*, QString* error) override { return Refuse(error); }

private:
    static bool Refuse(QString* error)
    {
        *error = QStringLiteral("no screen to capture");
        return false;
    }
};

}  // namespace

imaging::ScreenSource& frmMain::NoScreen()
{
    static NoScreenSource none;
    return none;
}

frmMain::frmMain(const MainServices& services)
    : svc(services),
      log(services.clock),
      link(*this),
      loss(*this),
      quality(*this),
      frames(*this, services.screen ? *services.screen : NoScreen()),
      updates(*this, services.screen ? *services.screen : NoScreen(), services.damage),
      channel(*this),
      remoteInput(channel, services.clock),
      code(*this),
      access(*this),
      status(*this),
      creds(*this),
      routes(*this),
      end(*this),
      account(*this),
      viewer(*this)
{
    tmrStatus.setInterval(session::StatusPolling::kNormalInterval);
    connect(&tmrStatus, &QTimer::timeout, this, [this] { status.tmrStatus_Timer(); });
    connect(&tmrFrame, &QTimer::timeout, this, [this] {
        if (s.LinkDeAtualizacoes())
            updates.EnviarAtualizacao();
        else
            frames.EnviarFrame();
    });
}

frmMain::~frmMain() = default;

float frmMain::Now() const { return svc.clock.Timer(); }

QString frmMain::ContaParams() const
{
    return api::ApiAuthParams(c.txtEmail.text(), c.txtDispositivo.text(), c.txtToken.text());
}

bool frmMain::ContaCompleta() const
{
    return !TrimSpaces(c.txtEmail.text()).isEmpty() && !TrimSpaces(c.txtToken.text()).isEmpty()
        && !TrimSpaces(c.txtDispositivo.text()).isEmpty();
}

void frmMain::AtualizarTitulo()
{
    const QString nome = TrimSpaces(c.txtNome.text());
    c.frmMain.setText(nome.isEmpty() ? QStringLiteral("Marquelin") : "Marquelin - " + nome);
}

void frmMain::RecarregarConta(bool gerarCodigo)
{
    c.txtDispositivo.setText(svc.store.GetDeviceUid());
    c.txtNome.setText(svc.store.GetSavedName());
    c.txtEmail.setText(svc.store.GetSavedEmail());
    c.txtToken.setText(svc.store.GetSavedToken());
    AtualizarTitulo();
    if (ContaCompleta() && gerarCodigo)
        code.GerarCodigo(false);
}

bool frmMain::Load()
{
    if (svc.instance && svc.instance->AnotherIsRunning()) {
        svc.dialogs.MessageBox("O Marquelin ja esta aberto neste computador.", "Marquelin", MessageIcon::Information);
        Unload();
        return false;
    }
    if (!api::CheckAppVersion(svc.dialogs, svc.urls, Now())) {
        Unload();
        return false;
    }
    s.RotaAutomatica = true;
    RecarregarConta(false);
    quality.RestaurarQualidade();
    quality.PrepararAjustesTela();
    for (Control* hidden : {&c.txtTelaIp, &c.txtTelaPorta, &c.lblTelaIp, &c.lblTelaPorta, &c.cmdClienteTransmitirTela,
                            &c.cmdTecnicoConectarTela, &c.cmdPararRemoto})
        hidden->setVisible(false);
    for (Control* disabled : {&c.cmdPermitir, &c.cmdRecusar, &c.cmdEncerrar, &c.cmdPararRemoto})
        disabled->setEnabled(false);
    session::DestacarSolicitacao(c, false);
    AtualizarTitulo();
    quality.AtualizarAjustesTela();
    tmrStatus.start();
    LogEvent("Marquelin iniciado. API: " + api::ApiBaseUrl());
    if (ContaCompleta()) {
        c.mnuMinhaConta.setVisible(false);
        code.GerarCodigo(false);
    } else {
        c.mnuMinhaConta.setVisible(true);
        SetStatus("Ative sua conta para usar o Marquelin.");
        MostrarCadastro();
    }
    return true;
}

void frmMain::Unload()
{
    s.Fechando = true;
    tmrStatus.stop();
    if (!s.sessao_id.isEmpty())
        end.EncerrarSessao("aplicativo_fechado");
    loss.PararTelaRemota(true);
    api::PumpPendingEvents();
    emit unloaded();
}

void frmMain::ShowRemoteFrame(const QImage& picture)
{
    if (picRemote) {
        picRemote->Clear();
        imaging::DrawRemotePicture(*picRemote, picture, s.RemoteWidth, s.RemoteHeight);
    }
    MostrarVisualizador();
    viewer.RenderFrame(picture);
}

void frmMain::ShowComposedScreen(const QRegion& changed)
{
    const updates::ComposedScreen& screen = updates.screen();
    if (picRemote)
        imaging::DrawRemoteUpdate(*picRemote, screen.picture(), screen.cursor(), changed);
    MostrarVisualizador();
    if (imaging::DrawSurface* view = viewer.picView())
        imaging::DrawRemoteUpdate(*view, screen.picture(), screen.cursor(), changed);
}

void frmMain::MostrarVisualizador()
{
    viewer.Show();
    const QString nome = TrimSpaces(c.txtNome.text());
    viewer.caption.setText("Marquelin - Tela remota - " + (nome.isEmpty() ? QStringLiteral("sem conta") : nome));
}

void frmMain::LimparPreview()
{
    if (!picRemote)
        return;
    picRemote->Clear();
    picRemote->Refresh();
}

void frmMain::MostrarCadastro()
{
    ::account::frmCadastro cadastro(*this);
    cadastro.Form_Load();
    svc.dialogs.ShowModal(cadastro);
}

void frmMain::mnuMinhaConta_Click() { MostrarCadastro(); }
void frmMain::mnuNovoCodigo_Click() { code.GerarCodigo(true); }
void frmMain::mnuSair_Click() { Unload(); }
void frmMain::mnuOutrosSoftwares_Click() { svc.urls.OpenUrl(api::MakerUrl()); }
void frmMain::mnuManual_Click() { svc.urls.OpenUrl(api::HelpUrl()); }

void frmMain::mnuSobre_Click()
{
    frmSobre sobre(*this);
    sobre.Form_Load();
    svc.dialogs.ShowModal(sobre);
}

}  // namespace shell
