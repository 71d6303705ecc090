#include "server/mail/OutboxMailer.h"

#include "server/ServerLog.h"
#include "server/security/Secrets.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace mail {
namespace {

std::string DateHeader()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &utc);
    return text;
}

bool WriteAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string FormatMessage(const MailMessage& message, const std::string& from)
{
    const std::string domain = from.substr(from.find('@') + 1);
    return "From: Marquelin <" + from + ">\r\n" + "To: <" + message.to + ">\r\n" + "Subject: " + message.subject
        + "\r\n" + "Date: " + DateHeader() + "\r\n" + "Message-ID: <" + security::RandomHex(12) + "@" + domain
        + ">\r\n" + "MIME-Version: 1.0\r\n" + "Content-Type: text/plain; charset=UTF-8\r\n"
        + "Content-Transfer-Encoding: 8bit\r\n" + "\r\n" + message.body;
}

OutboxMailer::OutboxMailer(std::string folder, std::string from) : folder_(std::move(folder)), from_(std::move(from))
{
}

bool OutboxMailer::Send(const MailMessage& message)
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const std::string name = std::to_string(ms) + "-" + std::to_string(++counter_) + ".eml";
    const std::string temporary = folder_ + "/." + name + ".tmp";
    const std::string final = folder_ + "/" + name;
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        ServerLog("mail: cannot write %s", temporary.c_str());
        return false;
    }
    const bool written = WriteAll(fd, FormatMessage(message, from_)) && fsync(fd) == 0;
    close(fd);
    if (!written || std::rename(temporary.c_str(), final.c_str()) != 0) {
        unlink(temporary.c_str());
        ServerLog("mail: cannot write %s", final.c_str());
        return false;
    }
    ServerLog("mail: %s para %s em outbox/%s", message.logDetail.c_str(), message.to.c_str(), name.c_str());
    return true;
}

}  // namespace mail
