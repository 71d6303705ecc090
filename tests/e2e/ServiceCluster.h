#pragma once

#include "ProgramInstance.h"
#include "server/PostgresServer.h"
#include "support/ServerFixture.h"
#include "support/TempDir.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace e2e {

// The service as a deployment runs it on several machines (deploy/README.md),
// here on one host: four marquelin-server nodes on one PostgreSQL database,
// sharing their certificate and session ticket keys, two serving the web
// service and two the relay, behind HAProxy running deploy/haproxy.cfg itself
// on fixed ports of `address`: HTTPS on 443 as deployed, the relay on 50556
// (50555 is the cliente's port, which the lab's faults block). The nodes
// listen on the host's loopback, so HAProxy's fixed ports meet none of theirs.
class ServiceCluster : public testing_support::Service {
public:
    static constexpr const char* kNodeNames[] = {"web1", "web2", "relay1", "relay2"};
    static constexpr int kRelayPort = 50556;

    ServiceCluster(std::string address, std::vector<std::string> launcher)
        : address_(std::move(address)), launcher_(std::move(launcher))
    {
        const std::string database = server_tests::NewPostgresDatabase();
        if (database.empty() || !WriteTicketKeys())
            return;
        std::vector<std::string> shared = {"--database", database, "--ticket-keys", folder_.File("ticket-keys"),
                                           "--proxy-protocol", "--trusted-proxy", "127.0.0.1"};
        // The first node makes the certificate, for the name the programs use; the others take it.
        std::vector<std::string> first = shared;
        first.insert(first.end(), {"--host", address_});
        nodes_.push_back(std::make_unique<testing_support::ServerFixture>(first, Placement()));
        shared.insert(shared.end(), {"--tls-cert", CaFile(), "--tls-key", nodes_[0]->DataDir() + "/tls-key.pem"});
        while (nodes_.size() < std::size(kNodeNames) && nodes_.back()->Running())
            nodes_.push_back(std::make_unique<testing_support::ServerFixture>(shared, Placement()));
        if (nodes_.back()->Running())
            StartBalancer();
    }

    std::string SiteOrigin() const override { return "https://" + address_; }
    std::string RelayEndpoint() const override { return address_ + ":" + std::to_string(kRelayPort); }
    std::string CaFile() const override { return nodes_[0]->CaFile(); }

    std::string Log() const override
    {
        std::string log;
        for (std::size_t i = 0; i < nodes_.size(); ++i)
            log += std::string("--- ") + kNodeNames[i] + ":\n" + nodes_[i]->Log();
        return log + "--- haproxy:\n" + balancer_.Output();
    }
    // Which of `nodes` (0 and 1 serve the web, 2 and 3 the relay) logged `fragment`.
    std::set<int> NodesLogging(std::set<int> nodes, const std::string& fragment) const
    {
        std::erase_if(nodes, [&](int node) { return !Contains(nodes_[node]->Log(), fragment); });
        return nodes;
    }

    // The mail went out from whichever web node took the sign-up.
    std::string LatestCode(const std::string& email) const override
    {
        std::string code;
        for (std::size_t i = 0; i < nodes_.size() && code.empty(); ++i)
            code = nodes_[i]->LatestCode(email);
        return code;
    }

    bool Running() const override
    {
        return nodes_.size() == std::size(kNodeNames) && balancer_.Running()
            && std::all_of(nodes_.begin(), nodes_.end(), [](const auto& node) { return node->Running(); });
    }
    void Stop() override { ForEachNode(&Service::Stop); }
    void Start() override { ForEachNode(&Service::Start); }
    void Kill9() override { ForEachNode(&Service::Kill9); }

private:
    testing_support::ServerPlacement Placement() const { return {"127.0.0.1", launcher_}; }

    void ForEachNode(void (Service::*step)())
    {
        for (const auto& node : nodes_)
            (node.get()->*step)();
    }

    // Any key does for a test; a deployment makes its own (deploy/README.md).
    bool WriteTicketKeys() { return static_cast<bool>(std::ofstream(folder_.File("ticket-keys")) << std::string(128, '5')); }

    // Up once it checks both web nodes' health (it listens before it checks).
    void StartBalancer()
    {
        const auto at = [](uint16_t port) { return "127.0.0.1:" + std::to_string(port); };
        std::vector<std::string> argv = launcher_;
        argv.insert(argv.end(), {"/usr/sbin/haproxy", "-db", "-f", MARQUELIN_SOURCE_DIR "/deploy/haproxy.cfg"});
        const auto env = testing_support::ChildProcess::Inherited({
            {"HTTPS_BIND", address_ + ":443"},
            {"RELAY_BIND", RelayEndpoint()},
            {"WEB1_ADDR", at(nodes_[0]->HttpsPort())},
            {"WEB2_ADDR", at(nodes_[1]->HttpsPort())},
            {"RELAY1_ADDR", at(nodes_[2]->RelayPort())},
            {"RELAY2_ADDR", at(nodes_[3]->RelayPort())},
            {"NODE_CA_FILE", CaFile()},
        });
        const auto checked = [&] { return !balancer_.Running() || NodesLogging({0, 1}, "GET /healthz 200").size() == 2; };
        if (!balancer_.Start(argv, env, folder_.File("haproxy.log")) || !WaitFor(checked) || !balancer_.Running())
            ADD_FAILURE() << "haproxy did not come up or check the web nodes:\n" << Log();
    }

    std::string address_;
    std::vector<std::string> launcher_;
    testing_support::TempDir folder_{"marquelin-cluster"};
    std::vector<std::unique_ptr<testing_support::ServerFixture>> nodes_;
    mutable testing_support::ChildProcess balancer_;
};

}  // namespace e2e
