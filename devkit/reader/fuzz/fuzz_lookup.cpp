// Fuzzes the reading of identifier texts: whatever a client sends as GetItemFromID's texts is
// either refused or read as an identifier of the store, never more.
#include "item_lookup.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto bytes = devkit::parseHexIdentifier(text);
    if (bytes) {
        if (bytes->size() * 2 != size)
            __builtin_trap();
        constexpr devkit::Uid store = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        devkit::parseEntryId(bytes->data(), bytes->size(), store);
    }
    return 0;
}
