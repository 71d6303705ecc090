#include "server/api/FormFields.h"

namespace api {
namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

void AppendLatin1(std::string& out, unsigned char byte)
{
    if (byte < 0x80) {
        out += static_cast<char>(byte);
    } else {
        out += static_cast<char>(0xC0 | (byte >> 6));
        out += static_cast<char>(0x80 | (byte & 0x3F));
    }
}

}  // namespace

std::string DecodeFormComponent(std::string_view component)
{
    std::string out;
    out.reserve(component.size());
    for (std::size_t i = 0; i < component.size(); ++i) {
        const char c = component[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < component.size() && HexValue(component[i + 1]) >= 0
                   && HexValue(component[i + 2]) >= 0) {
            AppendLatin1(out, static_cast<unsigned char>(HexValue(component[i + 1]) * 16 + HexValue(component[i + 2])));
            i += 2;
        } else {
            AppendLatin1(out, static_cast<unsigned char>(c));
        }
    }
    return out;
}

std::optional<FormFields> FormFields::Parse(std::string_view body)
{
    FormFields form;
    while (!body.empty()) {
        const std::size_t amp = body.find('&');
        const std::string_view pair = body.substr(0, amp);
        body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
        if (pair.empty())
            continue;
        if (form.fields_.size() == kMaxFields)
            return std::nullopt;
        const std::size_t eq = pair.find('=');
        const std::string_view name = pair.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        form.fields_.emplace_back(DecodeFormComponent(name), DecodeFormComponent(value));
    }
    return form;
}

const std::string& FormFields::Get(std::string_view name) const
{
    static const std::string empty;
    for (const auto& [key, value] : fields_) {
        if (key == name)
            return value;
    }
    return empty;
}

bool FormFields::Has(std::string_view name) const
{
    for (const auto& field : fields_) {
        if (field.first == name)
            return true;
    }
    return false;
}

}  // namespace api
