#include "maildir_name.h"

#include <algorithm>
#include <cstddef>

#include "ascii.h"

namespace devkit {
namespace {

constexpr std::size_t kMaxHostLength = 64;

bool isInfoSeparator(char c) {
    return c == ':' || c == ';' || c == '!';
}

} // namespace

MaildirName splitMaildirName(std::string_view fileName) {
    MaildirName result;
    for (std::size_t i = fileName.size(); i-- > 0;) {
        if (!isInfoSeparator(fileName[i]) || i + 2 >= fileName.size() || fileName[i + 2] != ',' ||
            (fileName[i + 1] != '2' && fileName[i + 1] != '1'))
            continue;
        result.unique = std::string(fileName.substr(0, i));
        if (fileName[i + 1] == '2')
            result.flags = std::string(fileName.substr(i + 3));
        result.hasInfo = true;
        return result;
    }
    result.unique = std::string(fileName);
    return result;
}

std::string normalizeFlags(std::string_view flags) {
    std::string out;
    for (char c : flags) {
        if (isAsciiAlpha(c) && out.find(c) == std::string::npos)
            out.push_back(c);
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool hasFlag(std::string_view flags, char flag) {
    return flags.find(flag) != std::string_view::npos;
}

std::string makeMaildirName(std::string_view unique, std::string_view flags) {
    std::string name(unique);
    name += kMaildirInfoSeparator;
    name += "2,";
    name += normalizeFlags(flags);
    return name;
}

std::string sanitizeHostName(std::string_view host) {
    std::string out;
    for (char c : host) {
        if (out.size() >= kMaxHostLength)
            break;
        const auto b = static_cast<unsigned char>(c);
        constexpr std::string_view kUnsafe = "/\\:;!<>\"|?*";
        const bool unsafe = b < 0x20 || b >= 0x7F || kUnsafe.find(c) != std::string_view::npos;
        out.push_back(unsafe ? '_' : c);
    }
    while (!out.empty() && (out.back() == '.' || out.back() == ' '))
        out.pop_back();
    if (out.empty())
        out = "localhost";
    return out;
}

std::string makeUniqueName(std::int64_t time, std::uint32_t pid, std::uint64_t counter,
                           std::string_view host) {
    return std::to_string(time) + ".P" + std::to_string(pid) + "Q" + std::to_string(counter) + "." +
           sanitizeHostName(host);
}

} // namespace devkit
