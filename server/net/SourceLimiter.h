#pragma once

#include <boost/asio/ip/address.hpp>

#include <cstddef>
#include <functional>
#include <map>
#include <optional>

namespace net {

class SourceLimiter;

// One connection counted against its source while the ticket lives.
class SourceTicket {
public:
    SourceTicket(SourceTicket&& other) noexcept;
    SourceTicket& operator=(SourceTicket&&) = delete;
    SourceTicket(const SourceTicket&) = delete;
    ~SourceTicket();

    // Counts the connection against the source of `address` instead (once a
    // balancer has named the client it carries); false, the ticket as it
    // was and a refusal counted, when that source is at its cap.
    bool MoveTo(const boost::asio::ip::address& address);

private:
    friend class SourceLimiter;
    SourceTicket(SourceLimiter& limiter, const boost::asio::ip::address& source);

    SourceLimiter* limiter_;
    boost::asio::ip::address source_;
};

// Caps the connections one source (SourceOf: an IPv4 address, an IPv6 /64)
// holds at once, whatever their state, and the connections of all sources
// together, as nginx's limit_conn does. Single-threaded; must outlive its
// tickets.
class SourceLimiter {
public:
    // Told the new total each time a ticket is given back.
    using ReleaseHook = std::function<void(std::size_t total)>;

    SourceLimiter(unsigned maxPerSource, std::size_t maxTotal, ReleaseHook onRelease = {});

    // Nothing when the source, or the whole, is at its cap.
    std::optional<SourceTicket> TryAcquire(const boost::asio::ip::address& address);
    bool Full() const { return total_ >= maxTotal_; }
    unsigned CountOf(const boost::asio::ip::address& address) const;
    std::size_t Total() const { return total_; }
    // Refusals so far, and whether the latest is worth a log line: the 1st,
    // 2nd, 4th, 8th..., so a flood leaves a handful of lines, not one each.
    std::size_t Refusals() const { return refusals_; }
    bool RefusalWorthLogging() const { return (refusals_ & (refusals_ - 1)) == 0; }
    void SetMaxTotal(std::size_t maxTotal) { maxTotal_ = maxTotal; }

private:
    friend class SourceTicket;
    void Release(const boost::asio::ip::address& source);
    bool Move(boost::asio::ip::address& source, const boost::asio::ip::address& to);
    void Uncount(const boost::asio::ip::address& source);

    unsigned maxPerSource_;
    std::size_t maxTotal_;
    ReleaseHook onRelease_;
    std::size_t total_ = 0;
    std::size_t refusals_ = 0;
    std::map<boost::asio::ip::address, unsigned> counts_;
};

}  // namespace net
