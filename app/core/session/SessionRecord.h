#pragma once

#include <QString>

namespace session {

// Role words, compared exactly, in `papel`, `PapelTela`, `PapelRelay`, the
// service's `papel` field and as the `motivo` of a session a user ended.
inline const QString kCliente = QStringLiteral("cliente");
inline const QString kTecnico = QStringLiteral("tecnico");

// The highest link version this program speaks, announced to the service.
inline constexpr int kVersaoLinkPropria = 3;

// The one current support session of this machine, as the main window holds
// it: a local copy of what the service last said plus the local progress of
// the screen route. Every part of the main window reads and writes it
// directly, on the user-interface thread. Time readings are seconds since
// local midnight; 0 means not set.
struct SessionRecord {
    // Identity and credentials, from the service.
    QString codigo_id;
    QString sessao_id;
    QString papel;
    QString stream_key;
    // The link version the service agreed for this session: the lower of
    // both sides' announcements; 1 is plain, 2 runs inside TLS with proved
    // Joins, 3 is 2 with changed-region updates after the Accept.
    int versao_link = 1;
    bool LinkProtegido() const { return versao_link >= 2; }
    bool LinkDeAtualizacoes() const { return versao_link >= 3; }

    // Screen route progress.
    QString PapelTela;
    bool TelaConectada = false;
    bool TransmissaoIniciada = false;
    bool DadosTelaRecebidos = false;
    bool RotaAutomatica = false;
    bool RelayAtivo = false;
    QString PapelRelay;
    QString IpAlternativo;
    int PortaAlternativa = 0;
    bool DestinoPrivado = false;
    float InicioRotaDireta = 0;
    float UltimoFrameEm = 0;
    QString IpRegistrado;
    int PortaRegistrada = 0;
    float UltimoRegistroEm = 0;

    // Session progress.
    bool SessaoEncerrada = false;
    float InicioSolicitacao = 0;
    float InicioBuscaAceite = 0;
    bool Fechando = false;

    // Link guards and frame pacing.
    bool ParandoTela = false;
    bool EnviandoFrame = false;
    bool FrameEmTransito = false;
    float FrameEnviadoEm = 0;

    // The remote desktop as the last frame header described it.
    int RemoteLeft = 0;
    int RemoteTop = 0;
    int RemoteWidth = 0;
    int RemoteHeight = 0;
};

}  // namespace session
