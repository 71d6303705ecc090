#pragma once

#include "core/input/modRemoteInput.h"
#include "core/link/ClienteLineParser.h"
#include "core/link/TecnicoStreamParser.h"

#include <QByteArray>
#include <QPointer>
#include <QTcpSocket>

namespace shell { class frmMain; }

namespace screenlink {

// What arrives on the link, for the role this machine plays on it: the bytes
// go to the parser of that role (`BufferTela` lives in the parsers), and what
// the parser finds goes to the parts of the main window that act on it —
// relay replies, the handshake, frames, and remote commands.
class LinkReceiver final : public input::RemoteCommandTarget {
public:
    LinkReceiver(shell::frmMain& window, input::InputSink& sink);
    ~LinkReceiver() override;

    void Receive(const QByteArray& bytes);
    void Clear();
    // The link carries binary updates and commands now, no more lines.
    bool Binario() const { return binario_; }
    // A command line from the other side, however it came: the technician's
    // input on the supported side; on the technician's side only the Goodbye.
    LinkOutcome ComandoRecebido(const QByteArray& line);
    // Releases whatever remote commands pressed and did not release.
    void SoltarEntradaRemota() { input_.ReleaseAllHeld(); }

    // The Join line for the link socket just connected to the relay. On a
    // version-2 session it carries no key, and that socket may then answer
    // the relay's one challenge.
    QByteArray PedidoRelay();
    // `TratarRespostaRelay`: true when the line was a relay reply.
    bool TratarRespostaRelay(const QByteArray& line);
    void ValidarHello(const QByteArray& line);
    // What a valid Hello starts on the supported side: the Accept and the frames.
    void IniciarTransmissao();

    // Control commands of the dispatcher.
    void EncerradaPeloOutro() override;
    void AplicarQualidadeRemota(int nitidez, int atualizacao) override;
    void LogEvent(const QString& message) override;

private:
    class TecnicoSide;
    class ClienteSide;

    bool ResponderDesafio(const QByteArray& challenge);
    // After the Accept of a link that carries updates: what the line parser
    // still held is the first of the binary stream, read once it returns.
    void PassarParaAtualizacoes(QByteArray rest);

    shell::frmMain& w_;
    input::modRemoteInput input_;
    std::unique_ptr<TecnicoSide> tecnicoSide_;
    std::unique_ptr<ClienteSide> clienteSide_;
    TecnicoStreamParser tecnico_;
    ClienteLineParser cliente_;
    // The relay connection whose challenge is still to be answered.
    QPointer<QTcpSocket> desafioPendente_;
    bool binario_ = false;
    QByteArray restoBinario_;
};

}  // namespace screenlink
