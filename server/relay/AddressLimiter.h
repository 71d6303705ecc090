#pragma once

#include <boost/asio/ip/address.hpp>
#include <map>
#include <optional>

namespace relay {

class AddressLimiter;

// One connection counted against its address while the ticket lives.
class AddressTicket {
public:
    AddressTicket(AddressTicket&& other) noexcept;
    AddressTicket& operator=(AddressTicket&&) = delete;
    AddressTicket(const AddressTicket&) = delete;
    ~AddressTicket();

private:
    friend class AddressLimiter;
    AddressTicket(AddressLimiter& limiter, const boost::asio::ip::address& address);

    AddressLimiter* limiter_;
    boost::asio::ip::address address_;
};

// Caps the connections one address holds at once, whatever their state.
// Single-threaded; must outlive its tickets.
class AddressLimiter {
public:
    explicit AddressLimiter(unsigned maxPerAddress) : maxPerAddress_(maxPerAddress) {}

    // Nothing when the address is at its cap.
    std::optional<AddressTicket> TryAcquire(const boost::asio::ip::address& address);
    unsigned CountOf(const boost::asio::ip::address& address) const;

private:
    friend class AddressTicket;
    void Release(const boost::asio::ip::address& address);

    unsigned maxPerAddress_;
    std::map<boost::asio::ip::address, unsigned> counts_;
};

}  // namespace relay
