#include "server/api/JsonReply.h"

namespace api {

void AppendJsonEscaped(std::string& out, std::string_view value)
{
    static const char hex[] = "0123456789abcdef";
    for (const char c : value) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (b < 0x20 || b == 0x7F) {
                out += "\\u00";
                out += hex[b >> 4];
                out += hex[b & 0xF];
            } else {
                out += c;
            }
        }
    }
}

JsonReply::JsonReply() { text_.reserve(256); }

void JsonReply::Name(std::string_view name)
{
    text_ += text_.empty() ? "{\"" : ",\"";
    text_ += name;
    text_ += "\":";
}

JsonReply& JsonReply::Bool(std::string_view name, bool value)
{
    Name(name);
    text_ += value ? "true" : "false";
    return *this;
}

JsonReply& JsonReply::String(std::string_view name, std::string_view value)
{
    Name(name);
    text_ += '"';
    AppendJsonEscaped(text_, value);
    text_ += '"';
    return *this;
}

JsonReply& JsonReply::Number(std::string_view name, std::int64_t value)
{
    Name(name);
    text_ += std::to_string(value);
    return *this;
}

std::string JsonReply::Finish()
{
    std::string out = text_.empty() ? std::string("{") : std::move(text_);
    out += '}';
    text_.clear();
    return out;
}

std::string JsonReply::Refusal(std::string_view erro)
{
    return JsonReply().Bool("ok", false).String("erro", erro).Finish();
}

}  // namespace api
