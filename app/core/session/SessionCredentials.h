#pragma once

#include <QString>

namespace shell { class frmMain; }

namespace session {

// A usable address or port from the service: not "", not "null" in any
// letter case, not "0.0.0.0" (spaces trimmed).
bool EnderecoUtil(const QString& text);

// A four-part IPv4 text in 10/8, 192.168/16 or 172.16/12; only the first two
// parts are examined.
bool IpPrivado(const QString& text);

// The session secret, the supported side's registration of where it listens
// (kept fresh while the session is accepted), and the technician's reading
// of those addresses into a first and an alternative target.
class SessionCredentials {
public:
    static constexpr float kRegistrationPeriod = 6.0f;

    explicit SessionCredentials(shell::frmMain& window) : w_(window) {}

    bool ObterCredenciais();
    void RegistrarConexao(const QString& papel, const QString& ipLocal, int porta, bool registrar);
    void AtualizarRotaLocal();
    void ReceberDadosTela(const QString& reply);

private:
    QString EnderecoLocal() const;

    shell::frmMain& w_;
};

}  // namespace session
