#include "server/mail/ActivationMail.h"

namespace mail {

MailMessage ActivationMail(const std::string& email, const std::string& nome, const std::string& code,
                           int validMinutes)
{
    MailMessage m;
    m.to = email;
    m.subject = "Marquelin - codigo de ativacao";
    m.body = "Ola, " + nome + ".\r\n\r\n" + kActivationCodeLabel + code + "\r\n\r\n"
        + "Digite este codigo no Marquelin para ativar sua conta neste computador. Ele vale por "
        + std::to_string(validMinutes) + " minutos.\r\n\r\n"
        + "Se voce nao pediu este codigo, ignore esta mensagem.\r\n";
    m.logDetail = "codigo de ativacao " + code;
    return m;
}

}  // namespace mail
