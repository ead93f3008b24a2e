#include "entry_id.h"

#include <gtest/gtest.h>

#include <string>

using namespace devkit;

namespace {

const Uid store = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const Uid otherStore = {16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};

std::optional<EntryId> parse(const Bytes& id) {
    return parseEntryId(id.data(), id.size(), store);
}

Bytes rawFolderId(std::string_view payload) {
    Bytes id = folderEntryId(store, "");
    id.insert(id.end(), payload.begin(), payload.end());
    return id;
}

TEST(EntryIdRoundTrip, StoreFolderAndMessage) {
    auto storeId = parse(storeEntryId(store));
    ASSERT_TRUE(storeId);
    EXPECT_EQ(storeId->kind, EntryKind::store);

    auto folder = parse(folderEntryId(store, "IPM_SUBTREE/Inbox/My Projects"));
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->kind, EntryKind::folder);
    EXPECT_EQ(folder->folder, "IPM_SUBTREE/Inbox/My Projects");

    auto root = parse(folderEntryId(store, ""));
    ASSERT_TRUE(root);
    EXPECT_EQ(root->folder, "");

    auto message = parse(messageEntryId(store, "IPM_SUBTREE/Inbox", "1700000000.M1P2Q3.host"));
    ASSERT_TRUE(message);
    EXPECT_EQ(message->kind, EntryKind::message);
    EXPECT_EQ(message->folder, "IPM_SUBTREE/Inbox");
    EXPECT_EQ(message->message, "1700000000.M1P2Q3.host");
}

TEST(EntryIdRefused, MalformedOrTruncated) {
    const Bytes good = messageEntryId(store, "Inbox", "123.M1.host");
    EXPECT_FALSE(parseEntryId(nullptr, 0, store));
    for (size_t length = 0; length < 22; ++length)
        EXPECT_FALSE(parseEntryId(good.data(), length, store)) << length;
    Bytes flagged = good;
    flagged[0] = 1;
    EXPECT_FALSE(parse(flagged));
    Bytes unknownKind = good;
    unknownKind[20] = 'X';
    EXPECT_FALSE(parse(unknownKind));
    Bytes noSeparator = folderEntryId(store, "Inbox");
    noSeparator[20] = 'M';
    EXPECT_FALSE(parse(noSeparator));
    Bytes shortStore = storeEntryId(store);
    shortStore.pop_back();
    EXPECT_FALSE(parse(shortStore));
}

TEST(EntryIdRefused, OfAnotherStore) {
    EXPECT_FALSE(parse(folderEntryId(otherStore, "Inbox")));
    EXPECT_FALSE(parse(messageEntryId(otherStore, "Inbox", "1.M1.h")));
    EXPECT_FALSE(parse(storeEntryId(otherStore)));
}

TEST(EntryIdRefused, PathsLeavingTheStore) {
    for (std::string_view path :
         {"..", "../outside", "Inbox/../../x", "/etc", "\\windows", "C:/Windows",
          "C:", "\\\\server\\share", "//server/share", "Inbox/./x", "Inbox//x"})
        EXPECT_FALSE(parse(rawFolderId(path))) << path;
    EXPECT_FALSE(parse(rawFolderId(std::string("Inbox\0x", 7))));
    EXPECT_FALSE(parse(rawFolderId(std::string(1100, 'a'))));
}

TEST(EntryIdRefused, MessageNamesLeavingTheFolder) {
    for (std::string_view unique : {"", "..", "../x", "a/b", "a\\b", "C:x", "x:2,S", "."})
        EXPECT_FALSE(parse(messageEntryId(store, "Inbox", unique))) << unique;
    EXPECT_FALSE(parse(messageEntryId(store, "Inbox", std::string("a\0b", 3))));
    EXPECT_FALSE(parse(messageEntryId(store, "../x", "1.M1.h")));
}

} // namespace
