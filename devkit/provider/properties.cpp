#include "properties.h"

#include "allocator.h"

#include <cstring>

namespace maildir {

Property longProperty(ULONG tag, LONG value) {
    return {tag, value};
}
Property boolProperty(ULONG tag, bool value) {
    return {tag, value};
}
Property textProperty(ULONG tag, std::string utf8) {
    return {tag, std::move(utf8)};
}
Property binaryProperty(ULONG tag, Bytes value) {
    return {tag, std::move(value)};
}
Property timeProperty(ULONG tag, FILETIME value) {
    return {tag, value};
}

const Property* find(const Properties& properties, ULONG tag) {
    for (const Property& property : properties)
        if (PROP_ID(property.tag) == PROP_ID(tag))
            return &property;
    return nullptr;
}

std::wstring utf8ToWide(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), length);
    return wide;
}

// Characters the code page lacks become '?', never a look-alike ("≥" is not "=").
std::string utf8ToAnsi(const std::string& utf8) {
    const std::wstring wide = utf8ToWide(utf8);
    if (wide.empty())
        return {};
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                           int(wide.size()), nullptr, 0, "?", nullptr);
    std::string ansi(size_t(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), ansi.data(),
                        length, "?", nullptr);
    return ansi;
}

std::string wideToUtf8(const wchar_t* wide) {
    if (!wide || !*wide)
        return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), length, nullptr, nullptr);
    utf8.resize(utf8.size() - 1); // the terminator
    return utf8;
}

std::string ansiToUtf8(const char* ansi) {
    if (!ansi || !*ansi)
        return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide.data(), length);
    return wideToUtf8(wide.c_str());
}

FILETIME fileTimeFromUnix(std::int64_t seconds) {
    const std::uint64_t ticks = std::uint64_t(seconds + 11644473600LL) * 10000000ULL;
    return {DWORD(ticks), DWORD(ticks >> 32)};
}

std::int64_t unixFromFileTime(const FILETIME& time) {
    const std::uint64_t ticks = std::uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
    return std::int64_t(ticks / 10000000ULL) - 11644473600LL;
}

namespace {

bool copyBytes(const void* data, size_t size, void* base, void** out) {
    if (FAILED(allocateMore(ULONG(size ? size : 1), base, out)))
        return false;
    if (size)
        std::memcpy(*out, data, size);
    return true;
}

void setError(ULONG tag, SPropValue& out, SCODE error = MAPI_E_NOT_FOUND) {
    out.ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag));
    out.Value.err = error;
}

} // namespace

std::optional<Bytes> valueBytes(const Property& property, ULONG type) {
    if (const auto* text = std::get_if<std::string>(&property.value)) {
        if (type == PT_STRING8) {
            const std::string ansi = utf8ToAnsi(*text);
            return Bytes(ansi.begin(), ansi.end());
        }
        if (type == PT_UNICODE) {
            const std::wstring wide = utf8ToWide(*text);
            const auto* data = reinterpret_cast<const std::uint8_t*>(wide.data());
            return Bytes(data, data + wide.size() * sizeof(wchar_t));
        }
    } else if (const auto* bytes = std::get_if<Bytes>(&property.value)) {
        if (type == PT_BINARY)
            return *bytes;
    }
    return std::nullopt;
}

bool fillValue(const Properties& properties, ULONG requestedTag, SPropValue& out, void* base,
               std::size_t largest) {
    out.dwAlignPad = 0;
    const Property* property = find(properties, requestedTag);
    ULONG type = PROP_TYPE(requestedTag);
    if (!property) {
        setError(requestedTag, out);
        return false;
    }
    if (type == PT_UNSPECIFIED)
        type = PROP_TYPE(property->tag);
    const ULONG id = PROP_ID(property->tag);
    out.ulPropTag = PROP_TAG(type, id);

    if (std::optional<Bytes> bytes = valueBytes(*property, type)) {
        if (bytes->size() > largest) {
            setError(requestedTag, out, MAPI_E_NOT_ENOUGH_MEMORY);
            return false;
        }
        const size_t size = bytes->size();
        bytes->resize(size + (type == PT_UNICODE ? sizeof(wchar_t) : type == PT_STRING8 ? 1 : 0));
        void* copy = nullptr;
        if (copyBytes(bytes->data(), bytes->size(), base, &copy)) {
            if (type == PT_STRING8) {
                out.Value.lpszA = static_cast<char*>(copy);
            } else if (type == PT_UNICODE) {
                out.Value.lpszW = static_cast<wchar_t*>(copy);
            } else {
                out.Value.bin.cb = ULONG(size);
                out.Value.bin.lpb = static_cast<BYTE*>(copy);
            }
            return true;
        }
    } else if (const auto* number = std::get_if<LONG>(&property->value)) {
        if (type == PT_LONG) {
            out.Value.l = *number;
            return true;
        }
    } else if (const auto* flag = std::get_if<bool>(&property->value)) {
        if (type == PT_BOOLEAN) {
            out.Value.b = *flag ? 1 : 0;
            return true;
        }
    } else if (const auto* time = std::get_if<FILETIME>(&property->value)) {
        if (type == PT_SYSTIME) {
            out.Value.ft = *time;
            return true;
        }
    }
    setError(requestedTag, out);
    return false;
}

HRESULT getProps(const Properties& properties, const SPropTagArray* tags, ULONG flags, ULONG* count,
                 SPropValue** values, std::size_t largest) {
    if (!count || !values)
        return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *values = nullptr;
    std::vector<ULONG> wanted;
    if (tags) {
        wanted.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
    } else {
        for (const Property& property : properties) {
            ULONG tag = property.tag;
            if (PROP_TYPE(tag) == PT_UNICODE && !(flags & MAPI_UNICODE))
                tag = PROP_TAG(PT_STRING8, PROP_ID(tag));
            wanted.push_back(tag);
        }
    }
    void* buffer = nullptr;
    if (FAILED(allocateBuffer(ULONG(sizeof(SPropValue) * (wanted.empty() ? 1 : wanted.size())),
                              &buffer)))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    auto* array = static_cast<SPropValue*>(buffer);
    bool missing = false;
    for (size_t i = 0; i < wanted.size(); ++i)
        missing |= !fillValue(properties, wanted[i], array[i], buffer, largest);
    *count = ULONG(wanted.size());
    *values = array;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

} // namespace maildir
