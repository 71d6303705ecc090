#include "server/mail/SmtpMailer.h"

#include "server/ServerLog.h"
#include "server/mail/OutboxMailer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace mail {
namespace {

struct Payload {
    std::string text;
    std::size_t offset = 0;
};

size_t ReadPayload(char* buffer, size_t size, size_t count, void* data)
{
    auto* payload = static_cast<Payload*>(data);
    const std::size_t n = std::min(size * count, payload->text.size() - payload->offset);
    std::memcpy(buffer, payload->text.data() + payload->offset, n);
    payload->offset += n;
    return n;
}

}  // namespace

SmtpMailer::SmtpMailer(std::string url, std::string from)
    : url_(std::move(url)), from_(std::move(from)), worker_([this] { Work(); })
{
}

SmtpMailer::~SmtpMailer()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

bool SmtpMailer::Send(const MailMessage& message)
{
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= kMaxQueued) {
            ServerLog("mail: queue full, mail to %s dropped", message.to.c_str());
            return false;
        }
        queue_.push_back(message);
    }
    wake_.notify_one();
    return true;
}

void SmtpMailer::Work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            return;
        MailMessage message = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        const bool sent = Deliver(message);
        ServerLog("mail: %s para %s", sent ? "entregue" : "falhou", message.to.c_str());
        lock.lock();
    }
}

bool SmtpMailer::Deliver(const MailMessage& message)
{
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl)
        return false;
    CURL* c = curl.get();
    Payload payload{FormatMessage(message, from_)};
    const std::string from = "<" + from_ + ">";
    const std::string to = "<" + message.to + ">";
    curl_slist* recipients = curl_slist_append(nullptr, to.c_str());
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadPayload);
    curl_easy_setopt(c, CURLOPT_READDATA, &payload);
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    const CURLcode rc = curl_easy_perform(c);
    curl_slist_free_all(recipients);
    if (rc != CURLE_OK)
        ServerLog("mail: smtp: %s", error[0] ? error : curl_easy_strerror(rc));
    return rc == CURLE_OK;
}

}  // namespace mail
