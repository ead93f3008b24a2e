#include "folder_name.h"
#include "store_path.h"

#include <gtest/gtest.h>

using namespace devkit;

namespace {

TEST(FolderName, PlainNamesStayReadable) {
    EXPECT_EQ(encodeFolderName("Inbox"), "Inbox");
    EXPECT_EQ(encodeFolderName("Sent Items"), "Sent Items");
    EXPECT_EQ(encodeFolderName("Projets d'été #2 & co"), "Projets d'été #2 & co");
}

TEST(FolderName, NamesAFileSystemCannotHoldAreEscaped) {
    EXPECT_EQ(encodeFolderName("a/b"), "a%2Fb");
    EXPECT_EQ(encodeFolderName("Q1: plans?"), "Q1%3A plans%3F");
    EXPECT_EQ(encodeFolderName("100%"), "100%25");
    EXPECT_EQ(encodeFolderName("new"), "%6Eew");
    EXPECT_EQ(encodeFolderName("CUR"), "%43UR");
    EXPECT_EQ(encodeFolderName(".hidden"), "%2Ehidden");
    EXPECT_EQ(encodeFolderName("con"), "%63on");
    EXPECT_EQ(encodeFolderName("LPT1.txt"), "%4CPT1.txt");
    EXPECT_EQ(encodeFolderName("trailing."), "trailing%2E");
    EXPECT_EQ(encodeFolderName("trailing "), "trailing%20");
}

TEST(FolderName, DecodingRestoresEveryName) {
    for (std::string_view name : {"Inbox", "a/b\\c", "new", "tmp", ".x", "100% sure", "NUL", "x.",
                                  "tab\there", "<>|*\"", "Ünïcødé"})
        EXPECT_EQ(decodeFolderName(encodeFolderName(name)), name);
}

TEST(FolderName, StrayPercentSignsDecodeAsThemselves) {
    EXPECT_EQ(decodeFolderName("50%"), "50%");
    EXPECT_EQ(decodeFolderName("%zz"), "%zz");
    EXPECT_EQ(decodeFolderName("cut%00here%41"), "cut%00hereA") << "never a NUL";
}

} // namespace

namespace {
// Every folder name must give a directory name that an entry identifier may carry.
TEST(FolderName, EncodedNamesAreSafePathComponents) {
    for (std::string_view name : {"COM0", "conout$", "CON .txt", "LPT\xC2\xB9", "Inbox", "a:b",
                                  "x.", "new", ".git", "100%"})
        EXPECT_TRUE(devkit::isSafeRelativePath(devkit::encodeFolderName(name))) << name;
}
} // namespace
