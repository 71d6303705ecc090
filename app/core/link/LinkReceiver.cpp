#include "core/link/LinkReceiver.h"

#include "core/imaging/DrawSurface.h"
#include "core/link/HelloCheck.h"
#include "core/link/LinkMessages.h"
#include "core/link/LinkProtection.h"
#include "core/link/RelayReply.h"
#include "core/shell/frmMain.h"

#include <exception>

namespace screenlink {

using session::kCliente;
using session::kTecnico;

// What the technician's parser finds.
class LinkReceiver::TecnicoSide final : public TecnicoStreamHandler {
public:
    TecnicoSide(LinkReceiver& receiver, shell::frmMain& window) : r_(receiver), w_(window) {}

    void OnRelayLine(const QByteArray& line) override { r_.TratarRespostaRelay(line); }

    LinkOutcome OnCommandLine(const QByteArray& line) override { return r_.ComandoRecebido(line); }

    void OnAccept() override
    {
        if (w_.s.LinkDeAtualizacoes())
            r_.PassarParaAtualizacoes(r_.tecnico_.TakeRest());
        w_.s.TelaConectada = true;
        w_.s.UltimoFrameEm = w_.Now();
        w_.LogEvent("Sessao de tela validada.");
        AnunciarProtecao(w_);
        w_.quality.AtualizarAjustesTela();
    }

    void OnFrameOrigin(int left, int top) override
    {
        w_.s.RemoteLeft = left;
        w_.s.RemoteTop = top;
    }

    LinkOutcome OnFrame(const ReceivedFrame& frame) override { return w_.frames.ReceberFrame(frame); }
    QSize PreviewSize() const override { return w_.picRemote ? w_.picRemote->DrawableSize() : QSize(); }
    bool SessaoEncerrada() const override { return w_.s.SessaoEncerrada; }
    void Log(const QString& text) override { w_.LogEvent(text); }

private:
    LinkReceiver& r_;
    shell::frmMain& w_;
};

// What the supported side's parser finds.
class LinkReceiver::ClienteSide final : public ClienteLineHandler {
public:
    ClienteSide(LinkReceiver& receiver, shell::frmMain& window) : r_(receiver), w_(window) {}

    bool OnRelayLine(const QByteArray& line) override { return r_.TratarRespostaRelay(line); }

    LinkOutcome OnHello(const QByteArray& line) override
    {
        r_.ValidarHello(line);
        return LinkOutcome::Done();
    }

    LinkOutcome OnCommandLine(const QByteArray& line) override { return r_.ComandoRecebido(line); }

    bool TelaConectada() const override { return w_.s.TelaConectada; }
    bool SessaoEncerrada() const override { return w_.s.SessaoEncerrada; }
    void Log(const QString& text) override { w_.LogEvent(text); }

private:
    LinkReceiver& r_;
    shell::frmMain& w_;
};

LinkReceiver::LinkReceiver(shell::frmMain& window, input::InputSink& sink)
    : w_(window),
      input_(sink, *this),
      tecnicoSide_(std::make_unique<TecnicoSide>(*this, window)),
      clienteSide_(std::make_unique<ClienteSide>(*this, window)),
      tecnico_(*tecnicoSide_),
      cliente_(*clienteSide_)
{
}

LinkReceiver::~LinkReceiver() = default;

void LinkReceiver::Receive(const QByteArray& bytes)
{
    if (binario_)
        return w_.updates.Receive(bytes);
    if (w_.s.PapelTela == kCliente)
        cliente_.Feed(bytes);
    else
        tecnico_.Feed(bytes);
    if (binario_ && !restoBinario_.isEmpty())
        w_.updates.Receive(std::exchange(restoBinario_, {}));
}

void LinkReceiver::Clear()
{
    tecnico_.Clear();
    cliente_.Clear();
    w_.updates.Clear();
    binario_ = false;
    restoBinario_.clear();
    desafioPendente_.clear();
}

void LinkReceiver::PassarParaAtualizacoes(QByteArray rest)
{
    binario_ = true;
    restoBinario_ = std::move(rest);
}

LinkOutcome LinkReceiver::ComandoRecebido(const QByteArray& line)
{
    if (w_.s.PapelTela == kCliente) {
        if (const auto error = input_.ExecuteRemoteCommand(QString::fromLatin1(line)))
            return LinkOutcome::Failed(*error);
        return LinkOutcome::Done();
    }
    // Only the Goodbye is the supported side's to send: a technician's
    // machine never carries out input commands that come from the machine
    // it is looking at.
    if (line.startsWith("CMD:BYE") && (line.size() == 7 || line[7] == ':'))
        EncerradaPeloOutro();
    return LinkOutcome::Done();
}

QByteArray LinkReceiver::PedidoRelay()
{
    const session::SessionRecord& s = w_.s;
    if (!s.LinkProtegido()) {
        desafioPendente_.clear();
        return JoinMessage(s.sessao_id, s.stream_key, s.PapelRelay);
    }
    desafioPendente_ = w_.link.Remote();
    return Join2Message(s.sessao_id, s.PapelRelay);
}

bool LinkReceiver::TratarRespostaRelay(const QByteArray& line)
{
    const RelayReply reply = ClassifyRelayReply(line);
    switch (reply.kind) {
    case RelayReply::Kind::NotAReply: return false;
    case RelayReply::Kind::Accepted: return true;
    case RelayReply::Kind::Waiting: w_.LogEvent("Relay TCP aguardando outro computador."); return true;
    case RelayReply::Kind::Paired:
        w_.LogEvent("Relay TCP pareado.");
        if (w_.link.RemoteIsConnected())
            w_.link.BeginLink();
        return true;
    case RelayReply::Kind::Refused:
        w_.LogEvent("Erro no relay TCP: " + reply.reason);
        w_.loss.PararTelaRemota(false);
        return true;
    case RelayReply::Kind::Challenge: return ResponderDesafio(reply.challenge);
    }
    return false;
}

// Answered once, and only on the relay connection that sent the version-2
// Join: a proof made for a challenge that came any other way would let
// whoever sent it join the relay in this side's place. Otherwise the line is
// no relay reply.
bool LinkReceiver::ResponderDesafio(const QByteArray& challenge)
{
    if (!desafioPendente_ || desafioPendente_ != w_.link.Remote())
        return false;
    desafioPendente_.clear();
    const session::SessionRecord& s = w_.s;
    try {
        w_.link.Send(ProofMessage(s.stream_key, s.sessao_id, s.PapelRelay, challenge));
    } catch (const std::exception& e) {
        w_.LogEvent(QStringLiteral("Erro no relay TCP: prova da sessao indisponivel (%1).").arg(e.what()));
        w_.loss.PararTelaRemota(false);
    }
    return true;
}

void LinkReceiver::ValidarHello(const QByteArray& line)
{
    const HelloVerdict verdict = CheckSessionHello(line, w_.s);
    if (verdict == HelloVerdict::Invalid) {
        w_.LogEvent("Validacao de tela invalida.");
        w_.loss.PararTelaRemota(false);
        return;
    }
    if (verdict == HelloVerdict::Refused) {
        w_.LogEvent("Tentativa de tela recusada: chave de sessao invalida.");
        w_.loss.PararTelaRemota(false);
        return;
    }
    IniciarTransmissao();
}

void LinkReceiver::IniciarTransmissao()
{
    w_.s.TelaConectada = true;
    w_.link.Send(AcceptMessage());
    if (w_.s.LinkDeAtualizacoes()) {
        PassarParaAtualizacoes(cliente_.TakeRest());
        w_.updates.NovaTransmissao();
    }
    w_.frames.NovaTransmissao();
    w_.quality.AjustarTimer();
    w_.tmrFrame.start();
    w_.quality.AtualizarAjustesTela();
    w_.LogEvent("Sessao de tela validada. Transmissao iniciada.");
    AnunciarProtecao(w_);
}

void LinkReceiver::EncerradaPeloOutro() { w_.loss.EncerradaPeloOutro(); }

void LinkReceiver::AplicarQualidadeRemota(int nitidez, int atualizacao)
{
    w_.quality.AplicarComandoQualidade(nitidez, atualizacao);
}

void LinkReceiver::LogEvent(const QString& message) { w_.LogEvent(message); }

}  // namespace screenlink
