#pragma once

#include <QString>

namespace shell { class frmMain; }

namespace session {

// The status poll that drives the whole session on both sides: the service
// never calls the program, so every change (a request, acceptance, refusal,
// the end) arrives here, and every reaction repeats while the status stays.
class StatusPolling {
public:
    static constexpr int kNormalInterval = 2000;
    static constexpr int kFastInterval = 700;
    static constexpr float kFastWindow = 18.0f;
    static constexpr float kLookupDelay = 5.0f;

    explicit StatusPolling(shell::frmMain& window) : w_(window) {}

    void tmrStatus_Timer();
    QString ParametrosStatus() const;
    void ConsultarStatus();
    bool LocalizarSessaoAceita();

private:
    void Solicitado(const QString& papel, const QString& reply);
    void Aceito(const QString& papel, const QString& reply);
    void Recusado();
    void Encerrado(const QString& papel);
    void EncerrarPesquisaRapida();

    shell::frmMain& w_;
};

}  // namespace session
