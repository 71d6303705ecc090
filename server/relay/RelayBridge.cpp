#include "relay/RelayBridge.h"

#include <array>
#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <cerrno>
#include <fcntl.h>

#include "core/link/PathBuffers.h"
#include "relay/RelaySide.h"
#include "relay/RelayState.h"

namespace relay {

namespace asio = boost::asio;
using boost::system::error_code;

namespace {

// What one pump moves before other sessions get their turn.
constexpr std::size_t kBytesPerBurst = 1024 * 1024;
constexpr std::chrono::milliseconds kFitPeriod{100};

}  // namespace

RelayBridge::RelayBridge(std::shared_ptr<RelaySide> cliente, std::shared_ptr<RelaySide> tecnico)
    : state_(cliente->State()), cliente_(std::move(cliente)), tecnico_(std::move(tecnico))
{
    toTecnico_.from = toCliente_.to = cliente_.get();
    toTecnico_.to = toCliente_.from = tecnico_.get();
    toTecnico_.name = "cliente->tecnico";
    toCliente_.name = "tecnico->cliente";
}

RelayBridge::~RelayBridge()
{
    for (Pump* pump : {&toTecnico_, &toCliente_})
        ReleaseBuffers(*pump);
}

void RelayBridge::Start()
{
    state_->log.Write("paired session=" + cliente_->Join().sessaoId + " cliente=" + cliente_->Peer() +
                      " tecnico=" + tecnico_->Peer());
    cliente_->EnterPaired();
    tecnico_->EnterPaired();
    FitToPaths(toTecnico_);
    FitToPaths(toCliente_);
    SendPairedReply(toTecnico_);
    SendPairedReply(toCliente_);
}

// The reply and the source's early bytes go in one write, the reply first, so
// the target's parser sees the reply at the start of its buffer.
void RelayBridge::SendPairedReply(Pump& pump)
{
    const std::string_view early = pump.from->EarlyBytes();
    pump.bytes += early.size();
    pump.writing = true;
    const std::array<asio::const_buffer, 2> parts{asio::buffer(kPairedReply.data(), kPairedReply.size()),
                                                  asio::buffer(early.data(), early.size())};
    asio::async_write(pump.to->Socket(), parts, [self = shared_from_this(), &pump](const error_code& ec, std::size_t) {
        pump.from->ReleaseEarlyBytes();
        self->OnWritten(pump, ec, "sending the pairing reply to");
    });
}

void RelayBridge::Read(Pump& pump)
{
    if (!pump.pipe && !pump.buffer && state_->limits.splice)
        pump.pipe = state_->pipes.Acquire();
    if (pump.pipe)
        return SpliceBurst(pump);
    if (!pump.buffer)
        pump.buffer = state_->buffers.Acquire();
    CopyBurst(pump);
}

void RelayBridge::FitToPaths(Pump& pump)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - pump.fittedAt < kFitPeriod)
        return;
    pump.fittedAt = now;
    const int source = pump.from->Socket().native_handle();
    const int target = pump.to->Socket().native_handle();
    netbuffers::FitSendBuffer(target);
    netbuffers::FitReceiveBuffer(source, target);
}

void RelayBridge::ReleaseBuffers(Pump& pump)
{
    if (pump.pipe && pump.inPipe == 0)
        state_->pipes.Release(std::move(*pump.pipe));
    pump.pipe.reset();
    state_->buffers.Release(std::move(pump.buffer));
}

// While the target takes every chunk at once, the pump goes on without a trip
// through the io_context; after a burst it lets other sessions run.
void RelayBridge::Yield(Pump& pump)
{
    asio::post(pump.from->Socket().get_executor(), [self = shared_from_this(), &pump] {
        if (!self->ended_)
            self->Read(pump);
    });
}

void RelayBridge::SpliceBurst(Pump& pump)
{
    const int source = pump.from->Socket().native_handle();
    for (std::size_t moved = 0; moved < kBytesPerBurst;) {
        const ssize_t n = splice(source, nullptr, pump.pipe->WriteEnd(), nullptr, state_->pipes.PipeBytes(),
                                 SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        // The pipe is empty here, so "would block" is the socket's.
        if (n < 0 && errno == EAGAIN) {
            ReleaseBuffers(pump);
            return AwaitReadable(pump);
        }
        if (n == 0)
            return End(std::string(RoleName(pump.from->Join().role)) + " closed");
        if (n < 0)
            return EndOnError(*pump.from, error_code(errno, boost::system::system_category()), "reading from");
        pump.bytes += static_cast<std::size_t>(n);
        pump.inPipe = static_cast<std::size_t>(n);
        moved += static_cast<std::size_t>(n);
        if (!FlushPipe(pump))
            return;
    }
    Yield(pump);
}

bool RelayBridge::FlushPipe(Pump& pump)
{
    const int target = pump.to->Socket().native_handle();
    while (pump.inPipe > 0) {
        const ssize_t n =
            splice(pump.pipe->ReadEnd(), nullptr, target, nullptr, pump.inPipe, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (n > 0) {
            pump.inPipe -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            FitToPaths(pump);
            pump.writing = true;
            pump.to->Socket().async_wait(asio::ip::tcp::socket::wait_write,
                                         [self = shared_from_this(), &pump](const error_code& ec) {
                                             pump.writing = false;
                                             if (self->ended_)
                                                 return pump.to->ShutdownAndDrain();
                                             if (ec)
                                                 return self->EndOnError(*pump.to, ec, "writing to");
                                             if (self->FlushPipe(pump))
                                                 self->Read(pump);
                                         });
            return false;
        }
        EndOnError(*pump.to, error_code(n < 0 ? errno : EPIPE, boost::system::system_category()), "writing to");
        return false;
    }
    return true;
}

void RelayBridge::CopyBurst(Pump& pump)
{
    for (std::size_t moved = 0; moved < kBytesPerBurst;) {
        error_code ec;
        const std::size_t n =
            pump.from->Socket().read_some(asio::buffer(pump.buffer.get(), state_->buffers.BufferBytes()), ec);
        if (ec == asio::error::would_block) {
            ReleaseBuffers(pump);
            return AwaitReadable(pump);
        }
        if (ec == asio::error::eof)
            return End(std::string(RoleName(pump.from->Join().role)) + " closed");
        if (ec)
            return EndOnError(*pump.from, ec, "reading from");
        pump.bytes += n;
        moved += n;
        const std::size_t written = pump.to->Socket().write_some(asio::buffer(pump.buffer.get(), n), ec);
        if (ec && ec != asio::error::would_block)
            return EndOnError(*pump.to, ec, "writing to");
        if (written < n)
            return Write(pump, written, n - written);
    }
    Yield(pump);
}

void RelayBridge::AwaitReadable(Pump& pump)
{
    FitToPaths(pump);
    pump.from->Socket().async_wait(asio::ip::tcp::socket::wait_read,
                                   [self = shared_from_this(), &pump](const error_code& ec) {
                                       if (self->ended_)
                                           return;
                                       if (ec)
                                           return self->EndOnError(*pump.from, ec, "waiting on");
                                       self->Read(pump);
                                   });
}

void RelayBridge::Write(Pump& pump, std::size_t offset, std::size_t n)
{
    FitToPaths(pump);
    pump.writing = true;
    asio::async_write(pump.to->Socket(), asio::buffer(pump.buffer.get() + offset, n),
                      [self = shared_from_this(), &pump](const error_code& ec, std::size_t) {
                          self->OnWritten(pump, ec, "writing to");
                      });
}

void RelayBridge::OnWritten(Pump& pump, const error_code& ec, const char* what)
{
    pump.writing = false;
    if (ended_)
        return pump.to->ShutdownAndDrain();
    if (ec)
        return EndOnError(*pump.to, ec, what);
    Read(pump);
}

void RelayBridge::EndOnError(const RelaySide& side, const error_code& ec, const char* what)
{
    if (state_->stopping)
        return End("relay stopping");
    End(std::string(what) + " " + std::string(RoleName(side.Join().role)) + ": " + ec.message());
}

void RelayBridge::End(const std::string& cause)
{
    if (ended_)
        return;
    ended_ = true;
    state_->log.Write("closed session=" + cliente_->Join().sessaoId + " " + toTecnico_.name + "=" +
                      std::to_string(toTecnico_.bytes) + " " + toCliente_.name + "=" +
                      std::to_string(toCliente_.bytes) + " bytes (" + cause + ")");
    state_->rendezvous.Forget(*this, cliente_->Join());
    for (Pump* pump : {&toTecnico_, &toCliente_}) {
        pump->to->BeginClosing();
        if (!pump->writing)
            pump->to->ShutdownAndDrain();
    }
}

}  // namespace relay
