#pragma once

#include <utility>  // asio/awaitable.hpp of Boost 1.74 uses std::exchange without it

#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ssl/context.hpp>

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace load {

// One simulated computer: its account part and what the service told it.
struct Device {
    std::size_t index = 0;
    boost::asio::ip::address_v4 address;
    std::string email, uid, token;
    std::string codigoId, codigo, sessaoId, streamKey;

    explicit Device(std::size_t i);
    std::string AccountPart() const;  // email, dispositivo_uid, token: how the program starts a body
};

// Activation codes from the data folder's outbox/, read as the mails come.
class Outbox {
public:
    explicit Outbox(std::string folder) : folder_(std::move(folder)) {}
    std::string CodeFor(const std::string& email);  // "" while no mail to it is there

private:
    void ReadNewMails();
    std::string folder_;
    std::set<std::string> read_;
    std::map<std::string, std::string> codes_;
};

// The brokering steps, each one request on its own connection as the program
// sends it. A refusal or a failed request throws std::runtime_error naming the
// step, the device and the reply.
class ServiceClient {
public:
    ServiceClient(boost::asio::ssl::context& tls, unsigned short port, const std::string& dataFolder);

    boost::asio::awaitable<void> SignUp(Device& d);               // cadastro, the mailed code, ativar
    boost::asio::awaitable<void> IssueCode(Device& cliente);      // gerar_codigo
    boost::asio::awaitable<void> AskAccess(Device& tecnico, const Device& cliente);  // solicitar_acesso
    boost::asio::awaitable<void> Permit(Device& cliente);         // responder_acesso permitir
    boost::asio::awaitable<void> FetchCredentials(Device& d);     // credenciais_sessao

private:
    boost::asio::awaitable<std::string> Call(const Device& d, const std::string& endpoint, const std::string& body);
    boost::asio::ssl::context& tls_;
    unsigned short port_;
    Outbox outbox_;
};

// The status poll's request, as the program builds it: the account part,
// then the code id when the device knows one.
std::string StatusRequest(const Device& d);

// A member of a reply as the program reads it ("" when missing).
std::string ReplyValue(const std::string& body, const char* key);
bool ReplyOk(const std::string& body);

}  // namespace load
