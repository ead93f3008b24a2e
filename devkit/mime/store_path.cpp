#include "store_path.h"

#include "ascii.h"
#include "utf8.h"

namespace devkit {

bool isReservedDeviceName(std::string_view component) {
    std::string_view base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    static constexpr std::string_view kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view name : kNames) {
        if (equalsIgnoreAsciiCase(base, name))
            return true;
    }
    if (base.size() < 4)
        return false;
    const std::string_view prefix = base.substr(0, 3);
    if (!equalsIgnoreAsciiCase(prefix, "COM") && !equalsIgnoreAsciiCase(prefix, "LPT"))
        return false;
    const std::string_view digit = base.substr(3);
    if (digit.size() == 1)
        return digit[0] >= '0' && digit[0] <= '9';
    // Superscript one, two and three count as digits for these names too.
    return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

namespace {

bool isSafeComponent(std::string_view component) {
    if (component.empty() || component == "." || component == "..")
        return false;
    if (component.back() == '.' || component.back() == ' ')
        return false;
    for (char c : component) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return false;
        constexpr std::string_view kForbidden = "\\:<>\"|?*";
        if (kForbidden.find(c) != std::string_view::npos)
            return false;
    }
    return !isReservedDeviceName(component);
}

} // namespace

bool isSafeRelativePath(std::string_view path) {
    if (path.empty() || path.size() > kMaxStoreRelativePath || path.front() == '/')
        return false;
    if (!isValidUtf8(path))
        return false;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
        if (!isSafeComponent(path.substr(start, end - start)))
            return false;
        if (slash == std::string_view::npos)
            return true;
        start = slash + 1;
    }
}

} // namespace devkit
