#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The fields of an application/x-www-form-urlencoded body as the program
// sends them: "+" is a space, %XX is one byte, and the bytes are ISO-8859-1,
// so each field comes out as UTF-8 text. A broken escape stays as written.
// The first of two fields with one name wins.

namespace api {

class FormFields {
public:
    static constexpr std::size_t kMaxFields = 32;

    // nullopt when the body holds more than kMaxFields fields.
    static std::optional<FormFields> Parse(std::string_view body);

    const std::string& Get(std::string_view name) const;  // "" when absent
    bool Has(std::string_view name) const;
    std::size_t Size() const { return fields_.size(); }

private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

// One name or value: unescaped, then converted from ISO-8859-1 to UTF-8.
std::string DecodeFormComponent(std::string_view component);

}  // namespace api
