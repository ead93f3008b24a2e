#include "maildir_store.h"
#include "mime_message.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

using namespace devkit;

namespace {

class Store : public ::testing::Test {
protected:
    static fs::path temporaryRoot() {
        return fs::temp_directory_path() /
               ("maildir-test-" + std::to_string(std::random_device{}()));
    }
    void SetUp() override { store.createStandardLayout(); }
    void TearDown() override { fs::remove_all(root); }

    std::string inbox() const { return store.receiveFolder(); }
    static size_t filesIn(const fs::path& dir) {
        return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }

    fs::path root = temporaryRoot();
    MaildirStore store{root};
};

TEST_F(Store, StandardLayoutHasAnIpmSubtreeWithTheUsualFolders) {
    EXPECT_EQ(inbox(), "IPM_SUBTREE/Inbox");
    EXPECT_TRUE(store.isMaildir(inbox()));
    std::vector<std::string> names;
    for (const FolderEntry& child : store.childFolders("IPM_SUBTREE"))
        names.push_back(child.displayName);
    EXPECT_EQ(names,
              (std::vector<std::string>{"Calendar", "Deleted Items", "Inbox", "Sent Items"}));
    auto subtree = store.property(ipmSubtreeProperty);
    ASSERT_TRUE(subtree);
    EXPECT_EQ(*subtree, folderEntryId(store.uid(), "IPM_SUBTREE"));
}

TEST_F(Store, PropertiesAndUidSurviveAReopen) {
    store.setProperty("35E00102", {1, 2, 3});
    MaildirStore again(root);
    again.open();
    EXPECT_EQ(again.uid(), store.uid());
    EXPECT_EQ(again.property("35E00102"), (Bytes{1, 2, 3}));
    EXPECT_EQ(filesIn(root), 2u) << "the properties file and IPM_SUBTREE, no temporary left";
}

TEST_F(Store, DeliveryGoesThroughTmpIntoNew) {
    const std::string unique = store.deliver(inbox(), "Subject: hi\r\n\r\nbody");
    EXPECT_EQ(filesIn(store.directory(inbox()) / "tmp"), 0u);
    ASSERT_EQ(filesIn(store.directory(inbox()) / "new"), 1u);
    auto found = store.findMessage(inbox(), unique);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->isNew);
    EXPECT_EQ(readFile(found->file), "Subject: hi\r\n\r\nbody");
}

TEST_F(Store, AMessageIsFoundAfterItsMoveToCurWithFlags) {
    // Usual flag sets are found by name, the rest by listing; every separator a reader uses.
    for (const std::string info : {";2,S", "!2,RS", ":2,RS", ";2,", ";2,DFRT", ";2,abc"}) {
        const std::string unique = store.deliver(inbox(), "x");
        fs::rename(store.directory(inbox()) / "new" / unique,
                   store.directory(inbox()) / "cur" / (unique + info));
        auto found = store.findMessage(inbox(), unique);
        ASSERT_TRUE(found) << info;
        EXPECT_FALSE(found->isNew);
        EXPECT_EQ(found->flags, info.substr(3)) << info;
        EXPECT_EQ(found->file.filename().string(), unique + info);
    }
    const std::string unique = store.deliver(inbox(), "x");
    fs::rename(store.directory(inbox()) / "new" / unique,
               store.directory(inbox()) / "cur" / (unique + ":2,RS"));
    EXPECT_FALSE(store.findMessage(inbox(), unique.substr(0, unique.size() - 1)));
    EXPECT_TRUE(store.deleteMessage(inbox(), unique));
    EXPECT_FALSE(store.findMessage(inbox(), unique));
    EXPECT_FALSE(store.deleteMessage(inbox(), unique));
}

TEST_F(Store, FoldersWithAnyNameAreCreatedOnceAndListed) {
    bool existed = true;
    auto folder = store.createFolder(inbox(), "Q3: plans / ideas", existed);
    ASSERT_TRUE(folder);
    EXPECT_FALSE(existed);
    EXPECT_TRUE(store.isMaildir(*folder));
    auto again = store.createFolder(inbox(), "Q3: plans / ideas", existed);
    EXPECT_EQ(again, folder);
    EXPECT_TRUE(existed);
    auto children = store.childFolders(inbox());
    ASSERT_EQ(children.size(), 1u) << "cur, new and tmp are not folders";
    EXPECT_EQ(children[0].displayName, "Q3: plans / ideas");
    EXPECT_EQ(store.displayName(*folder), "Q3: plans / ideas");
    EXPECT_FALSE(store.createFolder("IPM_SUBTREE/Missing", "x", existed));
    EXPECT_TRUE(store.removeFolder(*folder));
    EXPECT_TRUE(store.childFolders(inbox()).empty());
}

// A folder made must be one that an entry identifier can name: the directory's path, escapes
// included, is what counts.
TEST_F(Store, NamesNoIdentifierCouldCarryMakeNoFolder) {
    bool existed = false;
    EXPECT_TRUE(store.createFolder(inbox(), std::string(80, 'a'), existed));
    for (const std::string& name :
         {std::string(80, '?'), std::string(230, 'b'), std::string("caf\xE9"), std::string()})
        EXPECT_FALSE(store.createFolder(inbox(), name, existed)) << name;
    EXPECT_EQ(store.childFolders(inbox()).size(), 1u);
}

TEST_F(Store, MessagesListsNewAndCurButNotTmp) {
    store.deliver(inbox(), "a");
    const std::string second = store.deliver(inbox(), "b");
    fs::rename(store.directory(inbox()) / "new" / second,
               store.directory(inbox()) / "cur" / (second + ":2,S"));
    std::ofstream(store.directory(inbox()) / "tmp" / "half-written") << "x";
    EXPECT_EQ(store.messages(inbox()).size(), 2u);
}

// A name written on Linux and a name that reads like its escaped key are two messages.
TEST_F(Store, LinuxNameAndItsEscapedLookAlikeStayTwoMessages) {
    const fs::path dir = store.directory(inbox());
    std::ofstream(dir / "new" / "1.M1.host%3Ax") << "plain";
    std::ofstream(dir / "cur" / "1.M1.host:x:2,S") << "linux";
    const auto messages = store.messages(inbox());
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].unique, messages[1].unique);
    for (const MessageFile& message : messages) {
        const auto found = store.findMessage(inbox(), message.unique);
        ASSERT_TRUE(found) << message.unique;
        EXPECT_EQ(found->file, message.file);
    }
    EXPECT_TRUE(store.deleteMessage(inbox(), messages[1].unique));
    EXPECT_TRUE(fs::exists(messages[0].file));
    EXPECT_FALSE(fs::exists(messages[1].file));
}

TEST(ComposedMessage, ParsesBackWithItsTexts) {
    const std::string message = composeMessage("Zoë Martin <zoe@example.org>", "", "Réunion à 10h",
                                               "Bonjour,\nà demain.", 0);
    const ParsedMessage parsed = parseMessage(message);
    EXPECT_EQ(parsed.senderName, "Zoë Martin");
    EXPECT_EQ(parsed.senderEmail, "zoe@example.org");
    EXPECT_EQ(parsed.subject, "Réunion à 10h");
    EXPECT_EQ(parsed.body, "Bonjour,\r\nà demain.");
    ASSERT_TRUE(parsed.deliveryTime);
    EXPECT_EQ(*parsed.deliveryTime, 0);
}

} // namespace
