#pragma once

#include <memory>
#include <string>
#include <unordered_map>

namespace relay {

class RelayBridge;
class RelaySide;
struct JoinRequest;

// Where joined sides meet: one entry per session and stream key, holding the
// side that waits for each role and the pair once it is formed. Sides of one
// session with different keys land in different entries and never pair.
// Holds no ownership; single-threaded.
class Rendezvous {
public:
    // Pairs `side` with a waiting side of the other role, or lets it wait. An
    // older side of the same session, key and role is replaced: a waiting one
    // is sent away, a paired one ends its pair (so its partner reconnects too).
    void Join(const std::shared_ptr<RelaySide>& side);
    // A waiting side went away.
    void Leave(const RelaySide& side);
    // A pair ended.
    void Forget(const RelayBridge& bridge, const JoinRequest& join);

    std::size_t EntryCount() const { return entries_.size(); }

private:
    struct Entry {
        std::weak_ptr<RelaySide> waiting[2];  // by Role
        std::weak_ptr<RelayBridge> pair;
        bool IsEmpty() const;
    };

    void EraseIfEmpty(const std::string& key);

    std::unordered_map<std::string, Entry> entries_;
};

}  // namespace relay
