#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Writes the service's replies: one flat JSON object on one line, members in
// the order added. Strings are UTF-8 with quote, backslash and control
// characters escaped; the program reads replies as UTF-8 and does not decode
// \u escapes, so nothing else is escaped. Members whose text comes from users
// go last: the program finds a member by its first "name": anywhere.

namespace api {

class JsonReply {
public:
    JsonReply();
    JsonReply& Bool(std::string_view name, bool value);
    JsonReply& String(std::string_view name, std::string_view value);
    JsonReply& Number(std::string_view name, std::int64_t value);
    std::string Finish();  // the object; the writer is empty afterwards

    // {"ok":false,"erro":"<reason>"}
    static std::string Refusal(std::string_view erro);

private:
    void Name(std::string_view name);
    std::string text_;
};

void AppendJsonEscaped(std::string& out, std::string_view value);

}  // namespace api
