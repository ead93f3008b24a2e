#include "item_lookup.h"

#include <gtest/gtest.h>

#include <random>

using namespace devkit;

namespace {

std::string hex(const Bytes& bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

TEST(HexIdentifier, ReadsBothCasesAndRefusesWhatNoIdentifierIs) {
    EXPECT_EQ(parseHexIdentifier("0A"), (Bytes{0x0A}));
    EXPECT_EQ(parseHexIdentifier("ff00aB"), (Bytes{0xFF, 0x00, 0xAB}));
    const std::string tooLong(2 * (maxEntryIdSize + 1), 'A');
    for (const std::string_view hostile :
         {std::string_view(""), std::string_view("0A1"), std::string_view("0G"),
          std::string_view("0A 1B"), std::string_view("-1"), std::string_view(tooLong)})
        EXPECT_FALSE(parseHexIdentifier(hostile)) << hostile.substr(0, 20);
    EXPECT_FALSE(parseHexIdentifier(std::string(100000, '0'))) << "100,000 characters";
}

class Lookup : public ::testing::Test {
protected:
    void SetUp() override { store.createStandardLayout(); }
    void TearDown() override { fs::remove_all(store.root()); }

    std::string deliver() {
        return store.deliver(inbox, composeMessage("Ann Example <ann@example.org>",
                                                   "Bob <bob@example.org>", "Lunch at noon?",
                                                   "Shall we meet\nat noon?", 1800000000));
    }
    std::string messageText(const std::string& unique) const {
        return hex(messageEntryId(store.uid(), inbox, unique));
    }
    std::string storeText() const { return hex(storeEntryId(store.uid())); }

    static fs::path temporaryRoot() {
        return fs::temp_directory_path() /
               ("reader-test-" + std::to_string(std::random_device{}()));
    }

    MaildirStore store{temporaryRoot()};
    const std::string inbox = "IPM_SUBTREE/Inbox";
};

TEST_F(Lookup, FindsTheMessageWithEveryFieldTheReaderShows) {
    const std::string unique = deliver();
    for (const auto& storeText :
         {std::optional<std::string>(this->storeText()), std::optional<std::string>()}) {
        const LookupResult found = lookUpItem(store, messageText(unique), storeText);
        ASSERT_TRUE(std::holds_alternative<ReaderMessage>(found));
        const auto& message = std::get<ReaderMessage>(found);
        EXPECT_EQ(message.from, "Ann Example <ann@example.org>");
        EXPECT_EQ(message.to, "Bob <bob@example.org>");
        EXPECT_EQ(message.date, "Fri, 15 Jan 2027 08:00:00 +0000");
        EXPECT_EQ(message.subject, "Lunch at noon?");
        EXPECT_EQ(message.body, "Shall we meet\r\nat noon?");
    }
}

TEST_F(Lookup, RefusesEveryIdentifierThatNamesNoMessageOfThisStore) {
    const std::string unique = deliver();
    Uid otherUid = store.uid();
    otherUid[0] ^= 1;
    const std::string gone = store.deliver(inbox, composeMessage("a@b", "", "x", "x", 0));
    ASSERT_TRUE(store.deleteMessage(inbox, gone));

    struct Case {
        const char* what;
        std::string entry;
        std::optional<std::string> store;
        LookupError error;
    };
    const Case cases[] = {
        {"odd length", messageText(unique) + "0", storeText(), LookupError::malformed},
        {"entry empty", "", storeText(), LookupError::malformed},
        {"store empty", messageText(unique), "", LookupError::malformed},
        {"arguments swapped", storeText(), messageText(unique), LookupError::malformed},
        {"a folder", hex(folderEntryId(store.uid(), inbox)), storeText(), LookupError::malformed},
        {"another store's message", hex(messageEntryId(otherUid, inbox, unique)), storeText(),
         LookupError::notThisStore},
        {"another store", messageText(unique), hex(storeEntryId(otherUid)),
         LookupError::notThisStore},
        {"one byte", "0A", storeText(), LookupError::notThisStore},
        {"a way out of the store", hex(messageEntryId(store.uid(), "../..", unique)), storeText(),
         LookupError::notThisStore},
        {"gone", messageText(gone), storeText(), LookupError::notFound},
    };
    for (const Case& c : cases) {
        const LookupResult found = lookUpItem(store, c.entry, c.store);
        ASSERT_TRUE(std::holds_alternative<LookupError>(found)) << c.what;
        EXPECT_EQ(std::get<LookupError>(found), c.error) << c.what;
    }
}

} // namespace
