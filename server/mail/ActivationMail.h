#pragma once

#include "server/mail/Mailer.h"

// The activation mail of a sign-up: the code on a line of its own, after
// "Codigo de ativacao: ", so people and the tests find it alike.

namespace mail {

inline constexpr const char* kActivationCodeLabel = "Codigo de ativacao: ";

MailMessage ActivationMail(const std::string& email, const std::string& nome, const std::string& code,
                           int validMinutes);

}  // namespace mail
