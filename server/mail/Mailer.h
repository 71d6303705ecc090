#pragma once

#include <string>

// Sends the service's mail. The outbox writes files for a test or a local
// run; the SMTP mailer hands mail to a relay. Send() never blocks the
// service's thread for long and reports only whether the mail was taken.

namespace mail {

struct MailMessage {
    std::string to;
    std::string subject;
    std::string body;       // UTF-8 plain text
    std::string logDetail;  // what the log may say about it (the outbox logs the code)
};

class Mailer {
public:
    virtual ~Mailer() = default;
    virtual bool Send(const MailMessage& message) = 0;
};

}  // namespace mail
