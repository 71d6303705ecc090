#pragma once

#include "server/mail/Mailer.h"

#include <string>

// Writes each mail as one RFC 5322 file DIR/<unix-ms>-<n>.eml (written to a
// temporary name, synced and renamed, so a reader never sees half a mail)
// and logs its detail, the activation code included: this is the mailer of
// local runs and tests, where nobody else reads the log.

namespace mail {

class OutboxMailer final : public Mailer {
public:
    OutboxMailer(std::string folder, std::string from);
    bool Send(const MailMessage& message) override;

private:
    std::string folder_;
    std::string from_;
    unsigned counter_ = 0;
};

// The message as it goes on the wire or into a file, CR LF line ends.
std::string FormatMessage(const MailMessage& message, const std::string& from);

}  // namespace mail
