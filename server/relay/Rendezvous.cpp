#include "relay/Rendezvous.h"

#include "relay/JoinLine.h"
#include "relay/RelayBridge.h"
#include "relay/RelaySide.h"

namespace relay {

namespace {

// Neither part can contain "|", so the pair is unambiguous.
std::string KeyOf(const JoinRequest& join) { return join.sessaoId + '|' + join.streamKey; }

std::size_t IndexOf(Role role) { return role == Role::Cliente ? 0 : 1; }

}  // namespace

bool Rendezvous::Entry::IsEmpty() const
{
    return waiting[0].expired() && waiting[1].expired() && pair.expired();
}

// The entry is brought to its final state before any side is told, since
// telling one can come back here through Leave or Forget.
void Rendezvous::Join(const std::shared_ptr<RelaySide>& side)
{
    const Role role = side->Join().role;
    Entry& entry = entries_[KeyOf(side->Join())];
    const std::shared_ptr<RelaySide> replacedSide = entry.waiting[IndexOf(role)].lock();
    const std::shared_ptr<RelayBridge> replacedPair = entry.pair.lock();
    entry.waiting[IndexOf(role)].reset();
    entry.pair.reset();

    std::shared_ptr<RelayBridge> pair;
    if (const std::shared_ptr<RelaySide> other = entry.waiting[IndexOf(OtherRole(role))].lock()) {
        entry.waiting[IndexOf(OtherRole(role))].reset();
        pair = role == Role::Cliente ? std::make_shared<RelayBridge>(side, other)
                                     : std::make_shared<RelayBridge>(other, side);
        entry.pair = pair;
    } else {
        entry.waiting[IndexOf(role)] = side;
    }

    if (replacedSide)
        replacedSide->Refuse(Refusal::Replaced);
    if (replacedPair)
        replacedPair->End("replaced by a new " + std::string(RoleName(role)));
    if (pair)
        pair->Start();
    else
        side->EnterWaiting();
}

void Rendezvous::Leave(const RelaySide& side)
{
    const std::string key = KeyOf(side.Join());
    const auto it = entries_.find(key);
    if (it == entries_.end())
        return;
    std::weak_ptr<RelaySide>& slot = it->second.waiting[IndexOf(side.Join().role)];
    if (slot.lock().get() == &side)
        slot.reset();
    EraseIfEmpty(key);
}

void Rendezvous::Forget(const RelayBridge& bridge, const JoinRequest& join)
{
    const std::string key = KeyOf(join);
    const auto it = entries_.find(key);
    if (it == entries_.end())
        return;
    if (it->second.pair.lock().get() == &bridge)
        it->second.pair.reset();
    EraseIfEmpty(key);
}

void Rendezvous::EraseIfEmpty(const std::string& key)
{
    const auto it = entries_.find(key);
    if (it != entries_.end() && it->second.IsEmpty())
        entries_.erase(it);
}

}  // namespace relay
