#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "relay/AddressLimiter.h"
#include "relay/JoinLine.h"
#include "relay/RelayReplies.h"
#include "server/net/ProxyHeaderReader.h"

namespace relay {

struct RelayState;

// One accepted connection from the Join line to its close (a balancer's
// PROXY header first, when it comes through one): reads the line
// within the deadline, waits for its partner (watching for its departure),
// is handed to a RelayBridge once paired, and drains for a moment when closed
// so the last lines it was sent are not lost to a reset. Every read is "wait
// until readable, then read what is there", so a step that is cancelled never
// leaves bytes behind in a buffer. Single-threaded.
class RelaySide : public std::enable_shared_from_this<RelaySide> {
public:
    RelaySide(std::shared_ptr<RelayState> state, boost::asio::ip::tcp::socket socket, AddressTicket ticket,
              std::string peer);
    ~RelaySide();

    // `proxyHeader`: the connection is a balancer's and begins with one.
    void Start(bool proxyHeader = false);

    // Called by the rendezvous.
    void EnterWaiting();
    void Refuse(Refusal refusal);
    // Called by the bridge.
    void EnterPaired();
    // Closing starts: the socket is closed after the linger time at the latest.
    void BeginClosing();
    // Once nothing more is written to it: FIN, then drain until the peer's end.
    void ShutdownAndDrain();
    void CloseNow();

    boost::asio::ip::tcp::socket& Socket() { return socket_; }
    const JoinRequest& Join() const { return join_; }
    const std::string& Peer() const { return peer_; }
    const std::shared_ptr<RelayState>& State() const { return state_; }
    // What the side sent after its Join line before it was paired.
    std::string_view EarlyBytes() const;
    void ReleaseEarlyBytes();

private:
    enum class Phase { Joining, Waiting, Paired, Closing, Closed };
    using Step = void (RelaySide::*)();

    void ReadHeader();
    void OnHeader(const net::ProxyHeaderScan& scan);
    void ReadJoin();
    void OnJoinLine(std::size_t lineChars);
    void SendChallenge();
    void ReadProof();
    void OnProofLine(std::size_t lineChars);
    void Admit();
    bool IsAccepted();
    bool IsProven(const std::string& proof);
    // The store is another component: whatever it throws counts as "no".
    bool AskStore(const std::function<bool()>& question);
    void ReadEarly();
    void Drain();
    // Writes the refusal, then closes.
    void TurnAway(Refusal refusal);
    void OnJoinDeadline();
    void OnUnpairedTimeout();
    // Reads what is there into the pending bytes.
    std::size_t ReadPending(boost::system::error_code& ec);
    bool EarlyBytesOverflow() const;
    bool WriteNow(std::string_view line);
    void AwaitReadable(Step next);
    void ArmTimer(std::chrono::milliseconds after, Step onExpiry);
    void Lost(const boost::system::error_code& ec);
    void LeaveRendezvous();
    std::string Describe() const;

    std::shared_ptr<RelayState> state_;
    boost::asio::ip::tcp::socket socket_;
    boost::asio::steady_timer timer_;
    std::optional<AddressTicket> ticket_;  // given back as soon as the socket closes
    std::string peer_;
    Phase phase_ = Phase::Joining;
    bool joined_ = false;
    JoinRequest join_;
    std::string challenge_;  // version 2, until the proof is read
    // The Join line and what followed it. Room for the longest line first,
    // then for the early bytes allowed; always one byte more, so a read that
    // fills it shows an overflow.
    std::vector<char> pending_;
    std::size_t pendingSize_ = 0;
    std::size_t earlyStart_ = 0;
    std::unique_ptr<net::ProxyHeaderReader> header_;  // only while a balancer's header is awaited
};

}  // namespace relay
