// libFuzzer entry point: feeds arbitrary bytes to every parser of the kit and
// checks the guarantees the callers rely on (valid UTF-8, bounded sizes).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "address.h"
#include "ansi.h"
#include "charset.h"
#include "date_time.h"
#include "encoded_words.h"
#include "header_params.h"
#include "html_text.h"
#include "maildir_name.h"
#include "mime_message.h"
#include "store_path.h"
#include "transfer_encoding.h"
#include "utf8.h"

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

void requireUtf8(const std::string& text) {
    require(devkit::isValidUtf8(text));
}

void requireSingleLine(const std::string& text) {
    requireUtf8(text);
    require(text.size() <= devkit::kMaxHeaderTextBytes);
    for (char c : text)
        require(static_cast<unsigned char>(c) >= ' ' && c != 0x7F);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const devkit::ParsedMessage message = devkit::parseMessage(input);
    requireSingleLine(message.senderName);
    requireSingleLine(message.senderEmail);
    requireSingleLine(message.subject);
    requireSingleLine(message.messageId);
    requireUtf8(message.body);
    require(message.body.size() <= devkit::kMaxBodyBytes);
    for (std::size_t i = 0; i < message.body.size(); ++i) {
        const char c = message.body[i];
        require(c != '\0');
        if (c == '\r')
            require(i + 1 < message.body.size() && message.body[i + 1] == '\n');
        if (c == '\n')
            require(i > 0 && message.body[i - 1] == '\r');
    }

    requireUtf8(devkit::decodeHeaderText(input));
    const devkit::Mailbox mailbox = devkit::parseFirstMailbox(input);
    requireUtf8(mailbox.displayName);
    (void)devkit::parseDateTime(input);
    (void)devkit::parseParameterizedValue(input);
    (void)devkit::decodeQuotedPrintable(input);
    (void)devkit::decodeBase64(input);

    for (auto charset :
         {devkit::Charset::Utf8, devkit::Charset::UsAscii, devkit::Charset::Latin1,
          devkit::Charset::Latin9, devkit::Charset::Latin2, devkit::Charset::Unknown}) {
        requireUtf8(devkit::decodeCharset(input, charset));
    }

    const std::string utf8 = devkit::sanitizeUtf8(input);
    requireUtf8(devkit::htmlToText(utf8));
    require(devkit::utf8ToWindows1252(input).size() <= input.size());
    require(devkit::utf8ToUtf16(input).size() <= input.size());

    const devkit::MaildirName name = devkit::splitMaildirName(input);
    require(name.unique.size() <= input.size());
    const std::string unique = devkit::makeUniqueName(1, 2, 3, input);
    require(devkit::splitMaildirName(devkit::makeMaildirName(unique, "S")).unique == unique);

    if (devkit::isSafeRelativePath(input)) {
        require(input.front() != '/');
        require(input.find_first_of(std::string_view("\\:\0", 3)) == std::string_view::npos);
        std::size_t start = 0;
        while (start <= input.size()) {
            const std::size_t end = std::min(input.find('/', start), input.size());
            const std::string_view component = input.substr(start, end - start);
            require(!component.empty() && component != "." && component != "..");
            start = end + 1;
        }
    }
    return 0;
}
