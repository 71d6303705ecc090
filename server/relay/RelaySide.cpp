#include "relay/RelaySide.h"

#include <boost/asio/error.hpp>
#include <exception>
#include <utility>

#include "core/link/LinkKeys.h"
#include "relay/RelayState.h"

namespace relay {

namespace asio = boost::asio;
using boost::system::error_code;

RelaySide::RelaySide(std::shared_ptr<RelayState> state, asio::ip::tcp::socket socket, AddressTicket ticket,
                     std::string peer)
    : state_(std::move(state)),
      socket_(std::move(socket)),
      timer_(socket_.get_executor()),
      ticket_(std::move(ticket)),
      peer_(std::move(peer))
{
    state_->live.insert(this);
}

RelaySide::~RelaySide() { state_->live.erase(this); }

void RelaySide::Start(bool proxyHeader)
{
    const RelayLimits& limits = state_->limits;
    pending_.resize(std::max<std::size_t>(limits.maxJoinLine, 1) + 1);
    ArmTimer(limits.joinDeadline, &RelaySide::OnJoinDeadline);
    if (!proxyHeader)
        return ReadJoin();
    header_ = std::make_unique<net::ProxyHeaderReader>();
    ReadHeader();
}

void RelaySide::ReadHeader()
{
    error_code ec;
    const net::ProxyHeaderScan scan = header_->ReadFrom(socket_, ec);
    if (ec == asio::error::would_block)
        return AwaitReadable(&RelaySide::ReadHeader);
    if (scan.status == net::ProxyHeaderScan::Status::Done)
        return OnHeader(scan);
    if (const char* failure = header_->Failure(scan))
        state_->log.Write("bad PROXY header peer=" + peer_ + " (" + failure + "), closed");
    CloseNow();
}

// The Join line follows, in the socket still, and is the named client's.
void RelaySide::OnHeader(const net::ProxyHeaderScan& scan)
{
    header_.reset();
    if (scan.client) {
        peer_ = PeerText(*scan.client);
        if (!ticket_->MoveTo(scan.client->address())) {
            if (state_->addresses.RefusalWorthLogging())
                state_->log.Write("refused peer=" + peer_ + " reason="
                                  + std::string(RefusalLogName(Refusal::TooManyConnections)) + " (refusal "
                                  + std::to_string(state_->addresses.Refusals()) + " after its PROXY header)");
            return TurnAway(Refusal::TooManyConnections);
        }
    }
    ReadJoin();
}

void RelaySide::ReadJoin()
{
    for (;;) {
        error_code ec;
        ReadPending(ec);
        if (ec == asio::error::would_block)
            return AwaitReadable(&RelaySide::ReadJoin);
        if (ec)
            return Lost(ec);
        const JoinScan scan = ScanJoinLine({pending_.data(), pendingSize_}, state_->limits.maxJoinLine);
        if (scan.status == JoinScan::Status::Found)
            return OnJoinLine(scan.lineChars);
        if (scan.status == JoinScan::Status::TooLong)
            return Refuse(Refusal::JoinLineTooLong);
    }
}

void RelaySide::OnJoinLine(std::size_t lineChars)
{
    const JoinParse parse = ParseJoinLine({pending_.data(), lineChars});
    if (!parse.request)
        return Refuse(parse.refusal);
    join_ = *parse.request;
    joined_ = true;
    earlyStart_ = lineChars + 1;
    if (join_.version == 2)
        return SendChallenge();
    if (EarlyBytesOverflow())
        return Refuse(Refusal::TooManyEarlyBytes);
    if (!IsAccepted())
        return Refuse(Refusal::NotAccepted);
    Admit();
}

// A version-2 side proves that it holds the key by answering a challenge no
// one has seen before, so a captured Join and proof are worth nothing. Any
// session gets one, so the relay tells no one which sessions exist.
void RelaySide::SendChallenge()
{
    std::optional<std::string> challenge = NewChallenge();
    if (!challenge) {
        state_->log.Write("no random challenge to be had " + Describe());
        return Refuse(Refusal::NotAccepted);
    }
    challenge_ = std::move(*challenge);
    if (!WriteNow(std::string(kChallengePrefix) + challenge_ + '\n'))
        return CloseNow();
    ReadProof();
}

// What came after the Join line may already hold the proof line.
void RelaySide::ReadProof()
{
    for (;;) {
        const JoinScan scan = ScanJoinLine(EarlyBytes(), state_->limits.maxJoinLine);
        if (scan.status == JoinScan::Status::Found)
            return OnProofLine(scan.lineChars);
        if (scan.status == JoinScan::Status::TooLong)
            return Refuse(Refusal::JoinLineTooLong);
        if (EarlyBytesOverflow())
            return Refuse(Refusal::TooManyEarlyBytes);
        error_code ec;
        ReadPending(ec);
        if (ec == asio::error::would_block)
            return AwaitReadable(&RelaySide::ReadProof);
        if (ec)
            return Lost(ec);
    }
}

void RelaySide::OnProofLine(std::size_t lineChars)
{
    const std::optional<std::string> proof = ParseProofLine(EarlyBytes().substr(0, lineChars));
    if (!proof)
        return Refuse(Refusal::BadProofLine);
    earlyStart_ += lineChars + 1;
    if (EarlyBytesOverflow())
        return Refuse(Refusal::TooManyEarlyBytes);
    if (!IsProven(*proof))
        return Refuse(Refusal::NotAccepted);
    Admit();
}

void RelaySide::Admit()
{
    state_->log.Write("join " + Describe());
    state_->rendezvous.Join(shared_from_this());
}

bool RelaySide::IsAccepted()
{
    return AskStore([this] { return state_->sessions.IsAcceptedSession(join_.sessaoId, join_.streamKey); });
}

// Sides then meet under the store's key, as version-1 sides meet under theirs.
bool RelaySide::IsProven(const std::string& proof)
{
    const std::string challenge = std::exchange(challenge_, {});
    return AskStore([&] {
        std::optional<std::string> key = state_->sessions.ProvableSessionKey(join_.sessaoId);
        if (!key
            || !linkkeys::SameText(linkkeys::RelayJoinProof(*key, join_.sessaoId, RoleName(join_.role), challenge),
                                   proof))
            return false;
        join_.streamKey = std::move(*key);
        return true;
    });
}

bool RelaySide::AskStore(const std::function<bool()>& question)
{
    try {
        return question();
    } catch (const std::exception& e) {
        state_->log.Write("session check failed " + Describe() + ": " + e.what());
    } catch (...) {
        state_->log.Write("session check failed " + Describe());
    }
    return false;
}

void RelaySide::EnterWaiting()
{
    phase_ = Phase::Waiting;
    if (!WriteNow(kWaitingReply))
        return CloseNow();
    state_->log.Write("waiting " + Describe());
    ArmTimer(state_->limits.unpairedTimeout, &RelaySide::OnUnpairedTimeout);
    ReadEarly();
}

// Reading on while waiting is what notices a side that disconnects.
void RelaySide::ReadEarly()
{
    for (;;) {
        error_code ec;
        ReadPending(ec);
        if (ec == asio::error::would_block)
            return AwaitReadable(&RelaySide::ReadEarly);
        if (ec)
            return Lost(ec);
        if (EarlyBytesOverflow())
            return Refuse(Refusal::TooManyEarlyBytes);
    }
}

void RelaySide::OnJoinDeadline()
{
    if (!header_)
        return Refuse(Refusal::JoinTimeout);
    state_->log.Write("no PROXY header peer=" + peer_ + " within the Join time-out, closed");
    CloseNow();
}

void RelaySide::OnUnpairedTimeout() { Refuse(Refusal::UnpairedTimeout); }

void RelaySide::Refuse(Refusal refusal)
{
    if (phase_ >= Phase::Paired)
        return;
    state_->log.Write("refused " + Describe() + " reason=" + std::string(RefusalLogName(refusal)));
    TurnAway(refusal);
}

void RelaySide::TurnAway(Refusal refusal)
{
    WriteNow(RefusalLine(refusal));
    BeginClosing();
    ShutdownAndDrain();
}

void RelaySide::EnterPaired()
{
    phase_ = Phase::Paired;
    error_code ignored;
    timer_.cancel();
    socket_.cancel(ignored);  // the wait of ReadEarly
}

void RelaySide::BeginClosing()
{
    if (phase_ >= Phase::Closing)
        return;
    LeaveRendezvous();
    phase_ = Phase::Closing;
    ArmTimer(state_->limits.closeLinger, &RelaySide::CloseNow);
}

void RelaySide::ShutdownAndDrain()
{
    if (phase_ != Phase::Closing)
        return;
    error_code ignored;
    socket_.cancel(ignored);
    socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    Drain();
}

void RelaySide::Drain()
{
    for (;;) {
        error_code ec;
        socket_.read_some(asio::buffer(state_->discard), ec);
        if (ec == asio::error::would_block)
            return AwaitReadable(&RelaySide::Drain);
        if (ec)
            return CloseNow();
    }
}

void RelaySide::CloseNow()
{
    if (phase_ == Phase::Closed)
        return;
    LeaveRendezvous();
    phase_ = Phase::Closed;
    error_code ignored;
    timer_.cancel();
    socket_.close(ignored);
    ticket_.reset();
}

std::string_view RelaySide::EarlyBytes() const
{
    if (pendingSize_ <= earlyStart_)
        return {};
    return {pending_.data() + earlyStart_, pendingSize_ - earlyStart_};
}

void RelaySide::ReleaseEarlyBytes()
{
    std::vector<char>().swap(pending_);
    pendingSize_ = earlyStart_ = 0;
}

std::size_t RelaySide::ReadPending(error_code& ec)
{
    // Room for early bytes is made only for a side that sends them.
    if (joined_ && pendingSize_ == pending_.size())
        pending_.resize(earlyStart_ + state_->limits.maxEarlyBytes + 1);
    const std::size_t n =
        socket_.read_some(asio::buffer(pending_.data() + pendingSize_, pending_.size() - pendingSize_), ec);
    pendingSize_ += n;
    return n;
}

bool RelaySide::EarlyBytesOverflow() const { return pendingSize_ - earlyStart_ > state_->limits.maxEarlyBytes; }

// Only short lines go this way, on a socket that has had nothing else to send,
// so the kernel takes them whole; a socket that cannot is not worth waiting for.
bool RelaySide::WriteNow(std::string_view line)
{
    error_code ec;
    return socket_.write_some(asio::buffer(line.data(), line.size()), ec) == line.size() && !ec;
}

void RelaySide::AwaitReadable(Step next)
{
    const Phase expected = phase_;
    socket_.async_wait(asio::ip::tcp::socket::wait_read,
                       [self = shared_from_this(), expected, next](const error_code& ec) {
                           if (self->phase_ != expected || ec == asio::error::operation_aborted)
                               return;
                           if (ec)
                               return self->Lost(ec);
                           (self.get()->*next)();
                       });
}

void RelaySide::ArmTimer(std::chrono::milliseconds after, Step onExpiry)
{
    const Phase expected = phase_;
    timer_.expires_after(after);
    timer_.async_wait([self = shared_from_this(), expected, onExpiry](const error_code& ec) {
        if (!ec && self->phase_ == expected)
            (self.get()->*onExpiry)();
    });
}

void RelaySide::Lost(const error_code& ec)
{
    if (phase_ == Phase::Joining)
        state_->log.Write("closed before its Join line peer=" + peer_ + " (" + ec.message() + ")");
    else if (phase_ == Phase::Waiting)
        state_->log.Write("left while waiting " + Describe() + " (" + ec.message() + ")");
    CloseNow();
}

void RelaySide::LeaveRendezvous()
{
    if (phase_ == Phase::Waiting)
        state_->rendezvous.Leave(*this);
}

std::string RelaySide::Describe() const
{
    std::string text;
    if (joined_) {
        text += "session=" + join_.sessaoId;
        text += " role=";
        text += RoleName(join_.role);
        text += ' ';
    }
    return text + "peer=" + peer_;
}

}  // namespace relay
