#include "core/link/ScreenLink.h"

#include "core/common/Numbers.h"
#include "core/link/HelloCheck.h"
#include "core/link/LinkMessages.h"
#include "core/link/LinkProtection.h"
#include "core/link/LinkReceiver.h"
#include "core/link/PathBuffers.h"
#include "core/shell/frmMain.h"
#include "core/updates/UpdateMessages.h"

#include <QPointer>
#include <QTimer>

namespace screenlink {

using session::kCliente;
using session::kTecnico;

namespace {

// Where remote commands go when the window was given no input backend.
class DiscardingSink final : public input::InputSink {
public:
    void MovePointer(int, int) override {}
    void Button(input::MouseButton, bool) override {}
    bool Key(int, bool, bool) override { return true; }
    void Flush() override {}
};

// Empty when the peer ended TLS, which is no failure to report.
QString ProtectionFailure(const QString& error)
{
    return error.isEmpty() ? QString() : "Erro na conexao de tela: " + error;
}

input::InputSink& SinkOf(shell::frmMain& window)
{
    static DiscardingSink discarding;
    return window.svc.inputSink ? *window.svc.inputSink : discarding;
}

}  // namespace

ScreenLink::ScreenLink(shell::frmMain& window)
    : w_(window), receiver_(std::make_unique<LinkReceiver>(window, SinkOf(window)))
{
    connect(&wskListen_, &QTcpServer::newConnection, this, &ScreenLink::OnConnectionRequest);
}

ScreenLink::~ScreenLink() { CloseRemote(); }

bool ScreenLink::RemoteIsClosed() const
{
    return !wskRemote_ || wskRemote_->state() == QAbstractSocket::UnconnectedState;
}

qint64 ScreenLink::QueuedBytes() const
{
    return wskRemote_ ? wskRemote_->bytesToWrite() + protection_->Held() : 0;
}

bool ScreenLink::RemoteIsConnected() const
{
    return wskRemote_ && wskRemote_->state() == QAbstractSocket::ConnectedState;
}

bool ScreenLink::RemoteIsConnectedOrConnecting() const
{
    if (!wskRemote_)
        return false;
    const auto state = wskRemote_->state();
    return state == QAbstractSocket::ConnectedState || state == QAbstractSocket::ConnectingState
        || state == QAbstractSocket::HostLookupState;
}

QString ScreenLink::ListenLocalAddress() const
{
    // Listening on every interface has no one local address to offer.
    const QHostAddress address = wskListen_.serverAddress();
    if (!wskListen_.isListening() || address == QHostAddress::Any || address == QHostAddress::AnyIPv4
        || address == QHostAddress::AnyIPv6)
        return {};
    return address.toString();
}

void ScreenLink::CloseRemote()
{
    if (!wskRemote_)
        return;
    QTcpSocket* socket = wskRemote_.release();
    protection_ = nullptr;
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    // This may run inside one of the socket's own signals.
    socket->deleteLater();
}

void ScreenLink::CloseListen()
{
    wskListen_.close();
    pending_.DropAll();
}

void ScreenLink::Adopt(QTcpSocket* socket)
{
    CloseRemote();
    socket->setParent(nullptr);
    wskRemote_.reset(socket);
    protection_ = new LinkProtection(w_, *socket);
    connect(socket, &QTcpSocket::connected, this, &ScreenLink::OnConnected);
    connect(socket, &QTcpSocket::readyRead, this, &ScreenLink::OnData);
    connect(socket, &QTcpSocket::bytesWritten, this, &ScreenLink::OnBytesWritten);
    connect(socket, &QTcpSocket::disconnected, this, &ScreenLink::OnClosed);
    connect(socket, &QTcpSocket::errorOccurred, this, &ScreenLink::OnError);
}

void ScreenLink::ConnectTo(const QString& host, int port)
{
    auto* socket = new QTcpSocket;
    Adopt(socket);
    socket->connectToHost(host, static_cast<quint16>(port > 0 && port < 65536 ? port : 0));
}

void ScreenLink::Send(const QByteArray& message)
{
    if (!protection_ || protection_->Send(message))
        return;
    // A send may come from inside any handler: the failure is handled after it.
    QTimer::singleShot(0, this, [this, failed = QPointer(protection_)] {
        if (failed && failed == protection_)
            Abandonar(ProtectionFailure(failed->Error()));
    });
}

void ScreenLink::BeginLink()
{
    if (protection_ && !protection_->Begin())
        Abandonar(ProtectionFailure(protection_->Error()));
}

void ScreenLink::SendCommand(const QByteArray& line)
{
    if (!receiver_->Binario())
        return Send(line);
    QByteArray message;
    updates::AppendCommand(message, QByteArrayView(line).chopped(line.endsWith('\n') ? 1 : 0));
    Send(message);
}

void ScreenLink::Abandonar(const QString& reason)
{
    if (!reason.isEmpty())
        w_.LogEvent(reason);
    // The TLS alert, if any, tells the peer why.
    if (wskRemote_)
        wskRemote_->flush();
    CloseRemote();
    w_.loss.OnRemoteClosed();
}

void ScreenLink::ClearBuffer() { receiver_->Clear(); }

QString ScreenLink::IniciarEscuta()
{
    CloseListen();
    CloseRemote();
    w_.quality.RestaurarQualidade();
    w_.s.PapelTela = kCliente;
    w_.s.TelaConectada = false;
    ClearBuffer();
    // A new route registers anew, even at the same address and port.
    w_.s.IpRegistrado.clear();
    w_.s.PortaRegistrada = 0;
    const int port = common::LeadingInt32(w_.c.txtTelaPorta.text());
    if (port < 0 || port > 65535)
        return QStringLiteral("Porta invalida: %1").arg(port);
    if (!wskListen_.listen(QHostAddress::Any, static_cast<quint16>(port)))
        return wskListen_.errorString();
    // Port 0 takes any free port; the box then shows, and the registration sends, the one taken.
    if (port == 0)
        w_.c.txtTelaPorta.setText(QString::number(wskListen_.serverPort()));
    return {};
}

void ScreenLink::Conectar()
{
    CloseRemote();
    w_.s.PapelTela = kTecnico;
    w_.s.TelaConectada = false;
    ClearBuffer();
    ConnectTo(w_.c.txtTelaIp.text(), common::LeadingInt32(w_.c.txtTelaPorta.text()));
    w_.c.cmdPararRemoto.setEnabled(true);
    w_.LogEvent("Conectando automaticamente a tela do cliente.");
}

void ScreenLink::FitToPath()
{
    if (wskRemote_ && wskRemote_->socketDescriptor() >= 0)
        netbuffers::FitSendBuffer(static_cast<int>(wskRemote_->socketDescriptor()));
}

void ScreenLink::OnLinkUp()
{
    // Commands and the tail of each frame must not wait for more bytes.
    wskRemote_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    FitToPath();
}

void ScreenLink::OnConnectionRequest()
{
    while (QTcpSocket* request = wskListen_.nextPendingConnection()) {
        // During a session a stranger's connection leaves only its refusal in the log.
        if (!w_.s.TelaConectada)
            w_.LogEvent("Tecnico conectado. Aguardando validacao segura da sessao.");
        pending_.Take(request);
    }
}

HelloVerdict ScreenLink::JudgeHello(const QByteArray& line)
{
    return CheckSessionHello(line, w_.s);
}

std::unique_ptr<BytePipe> ScreenLink::MakePipe()
{
    if (w_.s.LinkProtegido())
        return std::make_unique<TlsPipe>(w_.s);
    return std::make_unique<PassThroughPipe>();
}

void ScreenLink::Promote(ProvenLink link)
{
    // The newest proven connection wins, as a technician reconnecting after a
    // loss needs; the link it replaces goes without a loss of its own, and
    // nothing of it (a partial line, held keys, a frame in transit) carries over.
    CloseRemote();
    ClearBuffer();
    receiver_->SoltarEntradaRemota();
    w_.s.FrameEmTransito = false;
    Adopt(link.socket.release());
    // Version 2's TLS carries on; version 1's pipe passed bytes through.
    if (std::unique_ptr<LinkTls> tls = link.pipe->ReleaseTls())
        protection_->TakeOver(std::move(tls));
    OnLinkUp();
    receiver_->IniciarTransmissao();
    if (!link.rest.isEmpty())
        receiver_->Receive(link.rest);
}

void ScreenLink::Log(const QString& text) { w_.LogEvent(text); }

void ScreenLink::OnConnected()
{
    OnLinkUp();
    const session::SessionRecord& s = w_.s;
    if (!s.PapelRelay.isEmpty() && s.RotaAutomatica) {
        Send(receiver_->PedidoRelay());
        w_.LogEvent("Relay TCP conectado. Aguardando pareamento.");
        return;
    }
    w_.LogEvent("Conexao de tela estabelecida.");
    BeginLink();
}

void ScreenLink::OnData()
{
    if (!wskRemote_)
        return;
    LinkProtection* protection = protection_;
    if (!protection->Receive(wskRemote_->readAll(), *receiver_) && protection == protection_)
        Abandonar(ProtectionFailure(protection->Error()));
}

void ScreenLink::OnBytesWritten()
{
    // Complete once every byte has been handed to the system, which holds
    // only about two round trips of the path beyond that: so the completion
    // comes close to the frame's arrival, and times the link itself.
    if (wskRemote_ && wskRemote_->bytesToWrite() == 0) {
        FitToPath();
        w_.frames.EnvioConcluido();
    }
}

void ScreenLink::OnClosed() { w_.loss.OnRemoteClosed(); }

void ScreenLink::OnError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;  // the close event follows and handles it
    const QString description = wskRemote_ ? wskRemote_->errorString() : QString();
    CloseRemote();
    w_.loss.OnRemoteError(static_cast<int>(error), description);
}

}  // namespace screenlink
