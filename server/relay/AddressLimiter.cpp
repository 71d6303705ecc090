#include "relay/AddressLimiter.h"

namespace relay {

namespace {

// An IPv4 peer reaching a dual-stack socket counts as the same address.
boost::asio::ip::address Canonical(const boost::asio::ip::address& address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
    return address;
}

}  // namespace

AddressTicket::AddressTicket(AddressLimiter& limiter, const boost::asio::ip::address& address)
    : limiter_(&limiter), address_(address)
{
}

AddressTicket::AddressTicket(AddressTicket&& other) noexcept
    : limiter_(other.limiter_), address_(other.address_)
{
    other.limiter_ = nullptr;
}

AddressTicket::~AddressTicket()
{
    if (limiter_)
        limiter_->Release(address_);
}

std::optional<AddressTicket> AddressLimiter::TryAcquire(const boost::asio::ip::address& address)
{
    const boost::asio::ip::address key = Canonical(address);
    unsigned& count = counts_[key];
    if (count >= maxPerAddress_) {
        if (count == 0)
            counts_.erase(key);
        return std::nullopt;
    }
    ++count;
    return AddressTicket(*this, key);
}

unsigned AddressLimiter::CountOf(const boost::asio::ip::address& address) const
{
    const auto it = counts_.find(Canonical(address));
    return it == counts_.end() ? 0 : it->second;
}

void AddressLimiter::Release(const boost::asio::ip::address& address)
{
    const auto it = counts_.find(address);
    if (it != counts_.end() && --it->second == 0)
        counts_.erase(it);
}

}  // namespace relay
