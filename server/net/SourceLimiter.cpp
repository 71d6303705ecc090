#include "server/net/SourceLimiter.h"

#include "server/net/SourceAddress.h"

namespace net {

SourceTicket::SourceTicket(SourceLimiter& limiter, const boost::asio::ip::address& source)
    : limiter_(&limiter), source_(source)
{
}

SourceTicket::SourceTicket(SourceTicket&& other) noexcept : limiter_(other.limiter_), source_(other.source_)
{
    other.limiter_ = nullptr;
}

SourceTicket::~SourceTicket()
{
    if (limiter_)
        limiter_->Release(source_);
}

bool SourceTicket::MoveTo(const boost::asio::ip::address& address)
{
    return limiter_ && limiter_->Move(source_, address);
}

SourceLimiter::SourceLimiter(unsigned maxPerSource, std::size_t maxTotal, ReleaseHook onRelease)
    : maxPerSource_(maxPerSource), maxTotal_(maxTotal), onRelease_(std::move(onRelease))
{
}

std::optional<SourceTicket> SourceLimiter::TryAcquire(const boost::asio::ip::address& address)
{
    const boost::asio::ip::address source = SourceOf(address);
    if (Full() || CountOf(source) >= maxPerSource_) {
        ++refusals_;
        return std::nullopt;
    }
    ++counts_[source];
    ++total_;
    return SourceTicket(*this, source);
}

unsigned SourceLimiter::CountOf(const boost::asio::ip::address& address) const
{
    const auto it = counts_.find(SourceOf(address));
    return it == counts_.end() ? 0 : it->second;
}

bool SourceLimiter::Move(boost::asio::ip::address& source, const boost::asio::ip::address& to)
{
    const boost::asio::ip::address next = SourceOf(to);
    if (next == source)
        return true;
    if (CountOf(next) >= maxPerSource_) {
        ++refusals_;
        return false;
    }
    ++counts_[next];
    Uncount(source);
    source = next;
    return true;
}

void SourceLimiter::Uncount(const boost::asio::ip::address& source)
{
    const auto it = counts_.find(source);
    if (it != counts_.end() && --it->second == 0)
        counts_.erase(it);
}

void SourceLimiter::Release(const boost::asio::ip::address& source)
{
    Uncount(source);
    --total_;
    if (onRelease_)
        onRelease_(total_);
}

}  // namespace net
