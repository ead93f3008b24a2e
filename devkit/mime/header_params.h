// Parsing of parameterised header values such as Content-Type and
// Content-Disposition: `value *(";" name "=" value)`.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace devkit {

struct ParameterizedValue {
    std::string value; // lower-cased, e.g. "text/plain" or "attachment"
    std::vector<std::pair<std::string, std::string>> params; // names lower-cased

    // Value of the first parameter with that (lower-case) name, or "".
    std::string param(std::string_view name) const;
};

// Comments and whitespace are skipped; quoted values are unescaped. The main
// value may contain one '/' surrounded by optional whitespace ("text / html"
// becomes "text/html"). Unquoted parameter values run up to the next ';' or
// whitespace, which also copes with unquoted boundaries containing '='.
ParameterizedValue parseParameterizedValue(std::string_view text);

} // namespace devkit
