// The Maildir provider through mapi32, as a program sees it.
#include "mapi_test_support.h"
#include "wine_test.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>

using namespace kit;

namespace {

constexpr ULONG allEvents = 0x7E;

ENTRYID* entry(const Bytes& id) {
    return reinterpret_cast<ENTRYID*>(const_cast<unsigned char*>(id.data()));
}

// GetProps of some tags, freed at the end of the test.
struct Values {
    ULONG count = 0;
    SPropValue* values = nullptr;
    HRESULT result = E_FAIL;
    ~Values() { MAPIFreeBuffer(values); }
    const SPropValue& operator[](size_t i) const { return values[i]; }
};

template <typename Object> void getProps(Object* object, std::vector<ULONG> tags, Values& out) {
    std::vector<ULONG> array(tags.size() + 1);
    array[0] = ULONG(tags.size());
    std::copy(tags.begin(), tags.end(), array.begin() + 1);
    out.result = object->GetProps(reinterpret_cast<SPropTagArray*>(array.data()), 0, &out.count,
                                  &out.values);
}

void freeRows(SRowSet* rows) {
    if (!rows)
        return;
    for (ULONG i = 0; i < rows->cRows; ++i)
        MAPIFreeBuffer(rows->aRow[i].lpProps);
    MAPIFreeBuffer(rows);
}

std::string deliver(StoreFixture& fixture, const std::string& folder, const std::string& from,
                    const std::string& subject, const std::string& body = "Hello") {
    return fixture.files().deliver(folder, devkit::composeMessage(from, "", subject, body, 0));
}

class Provider : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(fixture.logon(), S_OK); }
    StoreFixture fixture;
};

// Logon and the default store

TEST(ProviderLogon, SwitchesAnswerCancelAndFailure) {
    {
        StoreFixture cancelled({}, "cancel");
        EXPECT_EQ(cancelled.logon(), MAPI_E_USER_CANCEL);
    }
    {
        StoreFixture failing({}, "fail");
        EXPECT_EQ(failing.logon(), MAPI_E_LOGON_FAILED);
    }
}

TEST(ProviderLogon, WithoutInitialiseIsRefused) {
    Ref<IMAPISession> session;
    EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, 0x61, session.put()), MAPI_E_NOT_INITIALIZED);
}

TEST_F(Provider, StoresTableHasOneDefaultStore) {
    Ref<IMAPITable> table;
    ASSERT_EQ(fixture.session()->GetMsgStoresTable(0, table.put()), S_OK);
    ULONG rows = 0;
    ASSERT_EQ(table->GetRowCount(0, &rows), S_OK);
    EXPECT_EQ(rows, 1u);
    SizedSPropTagArray(3, columns) = {3, {PR_DEFAULT_STORE, PR_ENTRYID, PR_DISPLAY_NAME_A}};
    ASSERT_EQ(table->SetColumns(reinterpret_cast<SPropTagArray*>(&columns), 0), S_OK);
    ASSERT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);
    SRowSet* set = nullptr;
    ASSERT_EQ(table->QueryRows(1, 0, &set), S_OK);
    ASSERT_EQ(set->cRows, 1u);
    EXPECT_EQ(set->aRow[0].lpProps[0].ulPropTag, PR_DEFAULT_STORE);
    EXPECT_TRUE(set->aRow[0].lpProps[0].Value.b);
    EXPECT_EQ(bytesOf(set->aRow[0].lpProps[1].Value.bin),
              devkit::storeEntryId(fixture.files().uid()));
    EXPECT_STREQ(set->aRow[0].lpProps[2].Value.lpszA, "Maildir store");
    freeRows(set);
}

TEST(ProviderLogon, StoresSwitchEmptiesTheTableOrUnmarksTheDefault) {
    for (const char* stores : {"empty", "nodefault"}) {
        StoreFixture fixture;
        // Read when MAPI is initialised, at logon; the fixture clears it.
        setSetting(L"Stores", stores);
        ASSERT_EQ(fixture.logon(), S_OK);
        Ref<IMAPITable> table;
        ASSERT_EQ(fixture.session()->GetMsgStoresTable(0, table.put()), S_OK);
        SRowSet* set = nullptr;
        ASSERT_EQ(table->QueryRows(10, 0, &set), S_OK);
        if (std::string(stores) == "empty") {
            EXPECT_EQ(set->cRows, 0u);
        } else {
            ASSERT_EQ(set->cRows, 1u);
            const SRow& row = set->aRow[0];
            const auto marked =
                std::find_if(row.lpProps, row.lpProps + row.cValues, [](const SPropValue& value) {
                    return value.ulPropTag == PR_DEFAULT_STORE;
                });
            ASSERT_NE(marked, row.lpProps + row.cValues);
            EXPECT_FALSE(marked->Value.b);
        }
        freeRows(set);
    }
}

TEST_F(Provider, ReceiveFolderForIpmIsTheInbox) {
    ULONG size = 0;
    ENTRYID* id = nullptr;
    char* explicitClass = nullptr;
    char ipm[] = "IPM";
    ASSERT_EQ(fixture.store()->GetReceiveFolder(ipm, 0, &size, &id, &explicitClass), S_OK);
    EXPECT_EQ(bytesOf(size, id), fixture.folderId(fixture.inbox()));
    EXPECT_STREQ(explicitClass, "IPM");
    MAPIFreeBuffer(id);
    MAPIFreeBuffer(explicitClass);
}

// The IPM subtree

TEST_F(Provider, IpmSubtreeCreatedOnceAndRememberedOnDisk) {
    fixture.logoff();
    // A store that lacks the property.
    std::filesystem::remove(fixture.files().root() / devkit::propertiesFile);
    fixture.files().open();
    ASSERT_EQ(fixture.logon(), S_OK);

    Values missing;
    getProps(fixture.store(), {PR_IPM_SUBTREE_ENTRYID}, missing);
    EXPECT_EQ(missing.result, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(missing[0].ulPropTag, PROP_TAG(PT_ERROR, PROP_ID(PR_IPM_SUBTREE_ENTRYID)));
    EXPECT_EQ(missing[0].Value.err, MAPI_E_NOT_FOUND);

    Ref<IMAPIFolder> root;
    ULONG type = 0;
    ASSERT_EQ(
        fixture.store()->OpenEntry(0, nullptr, nullptr, MAPI_MODIFY, &type, root.putAs<IUnknown>()),
        S_OK);
    EXPECT_EQ(type, ULONG(MAPI_FOLDER));
    char name[] = "IPM_SUBTREE";
    Ref<IMAPIFolder> subtree;
    ASSERT_EQ(
        root->CreateFolder(FOLDER_GENERIC, name, nullptr, nullptr, OPEN_IF_EXISTS, subtree.put()),
        S_OK);
    Ref<IMAPIFolder> collision;
    EXPECT_EQ(root->CreateFolder(FOLDER_GENERIC, name, nullptr, nullptr, 0, collision.put()),
              MAPI_E_COLLISION);
    ASSERT_EQ(subtree->SaveChanges(KEEP_OPEN_READONLY), S_OK);
    Values id;
    getProps(subtree.get(), {PR_ENTRYID}, id);
    ASSERT_EQ(id.result, S_OK);
    SPropValue value = id[0];
    value.ulPropTag = PR_IPM_SUBTREE_ENTRYID;
    ASSERT_EQ(fixture.store()->SetProps(1, &value, nullptr), S_OK);

    fixture.logoff();
    ASSERT_EQ(fixture.logon(), S_OK);
    Values found;
    getProps(fixture.store(), {PR_IPM_SUBTREE_ENTRYID}, found);
    EXPECT_EQ(found.result, S_OK);
    EXPECT_EQ(bytesOf(found[0].Value.bin), fixture.folderId("IPM_SUBTREE"));
}

// Folders

TEST_F(Provider, HierarchyTableListsDirectSubfoldersOnly) {
    bool existed = false;
    for (const char* name : {"Projects", "Family & Friends", "Q3: plans"})
        fixture.files().createFolder(fixture.inbox(), name, existed);
    fixture.files().createFolder(fixture.inbox() + "/Projects", "Deeper", existed);

    Ref<IMAPIFolder> inbox = fixture.openFolder(fixture.folderId(fixture.inbox()));
    ASSERT_TRUE(inbox);
    Ref<IMAPITable> table;
    ASSERT_EQ(inbox->GetHierarchyTable(0, table.put()), S_OK);
    SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_DISPLAY_NAME_A}};
    ASSERT_EQ(table->SetColumns(reinterpret_cast<SPropTagArray*>(&columns), 0), S_OK);
    ULONG count = 0;
    ASSERT_EQ(table->GetRowCount(0, &count), S_OK);
    ASSERT_EQ(count, 3u);
    std::vector<std::string> names;
    for (ULONG i = 0; i < count; ++i) {
        ASSERT_EQ(table->SeekRow(BOOKMARK_BEGINNING, LONG(i), nullptr), S_OK);
        SRowSet* row = nullptr;
        ASSERT_EQ(table->QueryRows(1, 0, &row), S_OK);
        ASSERT_EQ(row->cRows, 1u);
        names.push_back(row->aRow[0].lpProps[1].Value.lpszA);
        Ref<IMAPIFolder> child = fixture.openFolder(bytesOf(row->aRow[0].lpProps[0].Value.bin));
        EXPECT_TRUE(child) << names.back();
        freeRows(row);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Family & Friends", "Projects", "Q3: plans"}));
}

TEST_F(Provider, HierarchyTableGivesCountsSubfoldersAndDepthWhenAskedAfterIdentifiers) {
    bool existed = false;
    for (const char* name : {"Projects", "Family"})
        fixture.files().createFolder(fixture.inbox(), name, existed);
    fixture.files().createFolder(fixture.inbox() + "/Projects", "Deeper", existed);
    for (int i = 0; i < 2; ++i)
        fixture.deliver(fixture.inbox() + "/Family", "x");
    fixture.deliver(fixture.inbox() + "/Projects/Deeper", "x");

    Ref<IMAPIFolder> inbox = fixture.openFolder(fixture.folderId(fixture.inbox()));
    ASSERT_TRUE(inbox);
    Ref<IMAPITable> table;
    ASSERT_EQ(inbox->GetHierarchyTable(CONVENIENT_DEPTH, table.put()), S_OK);
    // First the identifiers alone, as a program watching the folders asks; then the rest.
    SizedSPropTagArray(1, ids) = {1, {PR_ENTRYID}};
    ASSERT_EQ(table->SetColumns(reinterpret_cast<SPropTagArray*>(&ids), 0), S_OK);
    SRowSet* rows = nullptr;
    ASSERT_EQ(table->QueryRows(10, 0, &rows), S_OK);
    ASSERT_EQ(rows->cRows, 3u);
    freeRows(rows);
    SizedSPropTagArray(4, columns) = {
        4, {PR_DISPLAY_NAME_A, PR_CONTENT_COUNT, PR_SUBFOLDERS, PR_DEPTH}};
    ASSERT_EQ(table->SetColumns(reinterpret_cast<SPropTagArray*>(&columns), 0), S_OK);
    ASSERT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);
    ASSERT_EQ(table->QueryRows(10, 0, &rows), S_OK);
    ASSERT_EQ(rows->cRows, 3u);
    std::vector<std::string> seen;
    for (ULONG i = 0; i < rows->cRows; ++i) {
        const SPropValue* values = rows->aRow[i].lpProps;
        seen.push_back(std::string(values[0].Value.lpszA) + " " +
                       std::to_string(values[1].Value.l) + (values[2].Value.b ? " +" : " -") + " " +
                       std::to_string(values[3].Value.l));
    }
    freeRows(rows);
    EXPECT_EQ(seen, (std::vector<std::string>{"Family 2 - 1", "Projects 0 + 1", "Deeper 1 - 2"}));
}

TEST_F(Provider, ContentsTableReadsAMessageWhenMoreThanItsIdentifiersAndFlagsAreAskedFor) {
    const std::string gone = deliver(fixture, fixture.inbox(), "a@b", "gone");
    const std::string read = deliver(fixture, fixture.inbox(), "a@b", "read");
    const std::string rewritten = deliver(fixture, fixture.inbox(), "a@b", "before");
    const auto dir = fixture.files().directory(fixture.inbox());
    std::filesystem::rename(dir / "new" / read, dir / "cur" / (read + ";2,S"));
    Ref<IMAPIFolder> inbox = fixture.openFolder(fixture.folderId(fixture.inbox()));
    ASSERT_TRUE(inbox);
    Ref<IMAPITable> table;
    ASSERT_EQ(inbox->GetContentsTable(0, table.put()), S_OK);
    // The row of each message by its identifier: its flags, or later its subject.
    const auto rowsBy = [&](ULONG tag) {
        SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, tag}};
        std::map<Bytes, std::string> found;
        SRowSet* rows = nullptr;
        if (table->SetColumns(reinterpret_cast<SPropTagArray*>(&columns), 0) != S_OK ||
            table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr) != S_OK ||
            table->QueryRows(10, 0, &rows) != S_OK)
            return found;
        for (ULONG i = 0; i < rows->cRows; ++i) {
            const SPropValue* values = rows->aRow[i].lpProps;
            const SBinary& id = values[0].Value.bin;
            found[Bytes(id.lpb, id.lpb + id.cb)] =
                values[1].ulPropTag == tag
                    ? (tag == PR_SUBJECT_A ? values[1].Value.lpszA
                                           : std::to_string(values[1].Value.l))
                    : "none";
        }
        freeRows(rows);
        return found;
    };
    const auto id = [&](const std::string& unique) {
        return fixture.messageId(fixture.inbox(), unique);
    };
    EXPECT_EQ(
        rowsBy(PR_MESSAGE_FLAGS),
        (std::map<Bytes, std::string>{{id(gone), std::to_string(MSGFLAG_UNMODIFIED)},
                                      {id(read), std::to_string(MSGFLAG_UNMODIFIED | MSGFLAG_READ)},
                                      {id(rewritten), std::to_string(MSGFLAG_UNMODIFIED)}}));
    // Messages are read when their subjects are first asked for: as they are then.
    std::filesystem::remove(dir / "new" / gone);
    std::ofstream(dir / "new" / rewritten, std::ios::binary | std::ios::trunc)
        << "From: a@b\r\nSubject: after\r\n\r\nHello";
    EXPECT_EQ(rowsBy(PR_SUBJECT_A),
              (std::map<Bytes, std::string>{
                  {id(gone), "none"}, {id(read), "read"}, {id(rewritten), "after"}}));
}

// Where SeekRow lands in a contents table of five mails sorted by subject ("m1" to "m5"),
// told by the subject of the row there, and how far it says it went.
TEST_F(Provider, SeekRowGoesBackFromTheEndAndFromTheCurrentRow) {
    for (const char* subject : {"m3", "m1", "m5", "m2", "m4"})
        deliver(fixture, fixture.inbox(), "a@b", subject);
    Ref<IMAPIFolder> inbox = fixture.openFolder(fixture.folderId(fixture.inbox()));
    ASSERT_TRUE(inbox);
    Ref<IMAPITable> table;
    ASSERT_EQ(inbox->GetContentsTable(0, table.put()), S_OK);
    SizedSPropTagArray(1, columns) = {1, {PR_SUBJECT_A}};
    ASSERT_EQ(table->SetColumns(reinterpret_cast<SPropTagArray*>(&columns), 0), S_OK);
    SizedSSortOrderSet(1, order) = {1, 0, 0, {{PR_SUBJECT_A, TABLE_SORT_ASCEND}}};
    ASSERT_EQ(table->SortTable(reinterpret_cast<SSortOrderSet*>(&order), 0), S_OK);
    // The subjects of up to `count` rows from the cursor, leaving it where it is.
    auto rowsHere = [&](LONG count = 1) {
        SRowSet* rows = nullptr;
        std::string subjects;
        if (table->QueryRows(count, TBL_NOADVANCE, &rows) == S_OK)
            for (ULONG i = 0; i < rows->cRows; ++i)
                subjects += rows->aRow[i].lpProps[0].Value.lpszA;
        freeRows(rows);
        return subjects;
    };
    auto seek = [&](BOOKMARK origin, LONG count) {
        LONG sought = 12345;
        EXPECT_EQ(table->SeekRow(origin, count, &sought), S_OK);
        return sought;
    };

    EXPECT_EQ(seek(BOOKMARK_END, -2), -2);
    EXPECT_EQ(rowsHere(), "m4");
    EXPECT_EQ(seek(BOOKMARK_CURRENT, -3), -3);
    EXPECT_EQ(rowsHere(), "m1");
    EXPECT_EQ(seek(BOOKMARK_CURRENT, 1), 1);
    EXPECT_EQ(seek(BOOKMARK_CURRENT, -4), -1) << "stops at the first row";
    EXPECT_EQ(rowsHere(), "m1");
    EXPECT_EQ(seek(BOOKMARK_END, -9), -5);
    EXPECT_EQ(rowsHere(), "m1");
    EXPECT_EQ(seek(BOOKMARK_END, 0), 0);
    EXPECT_EQ(rowsHere(), "");
    EXPECT_EQ(seek(BOOKMARK_END, -1), -1);
    EXPECT_EQ(rowsHere(-2), "m3m4") << "a negative count reads the rows before the cursor";

    // Counts at the ends of their range neither wrap around nor read past the table.
    EXPECT_EQ(seek(BOOKMARK_BEGINNING, 2), 2);
    EXPECT_EQ(seek(BOOKMARK_CURRENT, LONG_MAX), 3);
    EXPECT_EQ(seek(BOOKMARK_END, LONG_MIN), -5);
    EXPECT_EQ(seek(BOOKMARK_CURRENT, 3), 3);
    EXPECT_EQ(rowsHere(LONG_MAX), "m4m5");
    EXPECT_EQ(rowsHere(LONG_MIN), "m1m2m3");
}

// Messages

TEST_F(Provider, MessageGivesItsPropertiesIn8BitForm) {
    const std::string unique = deliver(fixture, fixture.inbox(), "Zoë Martin <zoe@example.org>",
                                       "Café à 10h", "Première ligne\nDeuxième");
    Ref<IMessage> message = fixture.openMessage(fixture.messageId(fixture.inbox(), unique));
    ASSERT_TRUE(message);
    Values values;
    getProps(message.get(),
             {PR_SENDER_NAME_A, PR_SUBJECT_A, PR_BODY_A, PR_ENTRYID, PR_STORE_ENTRYID,
              PR_PARENT_ENTRYID, PR_MESSAGE_CLASS_A, PR_SENDER_EMAIL_ADDRESS_A,
              PR_MESSAGE_DELIVERY_TIME},
             values);
    ASSERT_EQ(values.result, S_OK);
    EXPECT_STREQ(values[0].Value.lpszA, "Zo\xEB Martin"); // Windows-1252 under Wine's default
    EXPECT_STREQ(values[1].Value.lpszA, "Caf\xE9 \xE0 10h");
    EXPECT_STREQ(values[2].Value.lpszA, "Premi\xE8re ligne\r\nDeuxi\xE8me");
    EXPECT_EQ(bytesOf(values[3].Value.bin), fixture.messageId(fixture.inbox(), unique));
    EXPECT_EQ(bytesOf(values[4].Value.bin), devkit::storeEntryId(fixture.files().uid()));
    EXPECT_EQ(bytesOf(values[5].Value.bin), fixture.folderId(fixture.inbox()));
    EXPECT_STREQ(values[6].Value.lpszA, "IPM.Note");
    EXPECT_STREQ(values[7].Value.lpszA, "zoe@example.org");
    EXPECT_EQ(PROP_TYPE(values[8].ulPropTag), ULONG(PT_SYSTIME));
}

TEST_F(Provider, TextTheCodePageCannotHoldBecomesQuestionMarksNotLookAlikes) {
    const std::string unique =
        deliver(fixture, fixture.inbox(), "a@b", "\u2265 8 \u221A2 \u221E", "\u0141\u00F3d\u017A");
    Ref<IMessage> message = fixture.openMessage(fixture.messageId(fixture.inbox(), unique));
    ASSERT_TRUE(message);
    Values values;
    getProps(message.get(), {PR_SUBJECT_A, PR_BODY_A}, values);
    ASSERT_EQ(values.result, S_OK);
    EXPECT_STREQ(values[0].Value.lpszA, "? 8 ?2 ?"); // not "= 8 v2 8"
    EXPECT_STREQ(values[1].Value.lpszA, "?\xF3"
                                        "d?"); // not "Lodz"
}

TEST_F(Provider, MissingPropertyComesBackAsAnErrorValue) {
    const std::string unique =
        fixture.files().deliver(fixture.inbox(), "Subject: no sender\r\n\r\ntext");
    Ref<IMessage> message = fixture.openMessage(fixture.messageId(fixture.inbox(), unique));
    ASSERT_TRUE(message);
    Values values;
    getProps(message.get(), {PR_SENDER_NAME_A, PR_SUBJECT_A}, values);
    EXPECT_EQ(values.result, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(values[0].ulPropTag, PROP_TAG(PT_ERROR, PROP_ID(PR_SENDER_NAME_A)));
    EXPECT_EQ(values[0].Value.err, MAPI_E_NOT_FOUND);
    EXPECT_STREQ(values[1].Value.lpszA, "no sender");
}

// Large properties: GetProps refuses them, as real stores do, and OpenProperty streams them.

// A numbered line per 30 bytes or so, so that a byte out of place changes the text.
std::string numberedLines(size_t bytes) {
    std::string text;
    for (int line = 1; text.size() < bytes; ++line)
        text += "line " + std::to_string(line) + " of a long mail\r\n";
    return text + "the end";
}

std::string readAll(IStream* stream) {
    std::string text;
    char chunk[1000];
    ULONG read = 0;
    while (SUCCEEDED(stream->Read(chunk, sizeof chunk, &read)) && read)
        text.append(chunk, read);
    return text;
}

TEST_F(Provider, LargeBodyIsRefusedByGetPropsAndStreamedWhole) {
    const std::string body = numberedLines(40000);
    const std::string unique = deliver(fixture, fixture.inbox(), "a@b", "long", body);
    Ref<IMessage> message = fixture.openMessage(fixture.messageId(fixture.inbox(), unique));
    ASSERT_TRUE(message);
    Values values;
    getProps(message.get(), {PR_BODY_A, PR_SUBJECT_A, PR_BODY_W}, values);
    ASSERT_EQ(values.result, MAPI_W_ERRORS_RETURNED);
    for (size_t i : {0, 2}) {
        EXPECT_EQ(values[i].ulPropTag, PROP_TAG(PT_ERROR, PROP_ID(PR_BODY)));
        EXPECT_EQ(values[i].Value.err, MAPI_E_NOT_ENOUGH_MEMORY);
    }
    EXPECT_STREQ(values[1].Value.lpszA, "long");

    Ref<IStream> stream;
    ASSERT_EQ(
        message->OpenProperty(PR_BODY_A, &IID_IStream, STGM_READ, 0, stream.putAs<IUnknown>()),
        S_OK);
    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, body.size());
    EXPECT_EQ(readAll(stream.get()), body);
    ULARGE_INTEGER position{};
    ASSERT_EQ(stream->Seek(LARGE_INTEGER{.QuadPart = -9}, STREAM_SEEK_END, &position), S_OK);
    EXPECT_EQ(position.QuadPart, body.size() - 9);
    EXPECT_EQ(readAll(stream.get()), "\r\nthe end");
    EXPECT_EQ(stream->Seek(LARGE_INTEGER{.QuadPart = -1}, STREAM_SEEK_SET, nullptr),
              STG_E_INVALIDFUNCTION);
    ULONG written = 1;
    EXPECT_EQ(stream->Write("x", 1, &written), STG_E_ACCESSDENIED);
    EXPECT_EQ(written, 0u);

    ASSERT_EQ(
        message->OpenProperty(PR_BODY_W, &IID_IStream, STGM_READ, 0, stream.putAs<IUnknown>()),
        S_OK);
    const std::string wide = readAll(stream.get());
    ASSERT_EQ(wide.size(), 2 * body.size());
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(wide.data()), 7), L"line 1 ");
    EXPECT_EQ(message->OpenProperty(PR_BODY_A, &IID_IStream, STGM_READ, MAPI_MODIFY,
                                    stream.putAs<IUnknown>()),
              MAPI_E_NO_ACCESS)
        << "messages are read-only";
}

// The limit counts the bytes of the form asked for: 20,000 characters are 20,000 bytes in
// 8-bit form and twice as many in UTF-16.
TEST_F(Provider, BodyBelowTheLimitInItsFormIsGivenByGetProps) {
    const std::string body = numberedLines(20000);
    const std::string unique = deliver(fixture, fixture.inbox(), "a@b", "medium", body);
    Ref<IMessage> message = fixture.openMessage(fixture.messageId(fixture.inbox(), unique));
    ASSERT_TRUE(message);
    Values values;
    getProps(message.get(), {PR_BODY_A, PR_BODY_W, PR_TRANSPORT_MESSAGE_HEADERS_A}, values);
    EXPECT_EQ(values.result, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(values[0].Value.lpszA, body);
    EXPECT_EQ(values[1].Value.err, MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(std::string(values[2].Value.lpszA).starts_with("From: a@b\r\nSubject: medium\r\n"))
        << values[2].Value.lpszA;
}

TEST_F(Provider, IdentifierSurvivesTheMoveToCurAndNewFlags) {
    const std::string unique = deliver(fixture, fixture.inbox(), "a@b", "moving");
    const auto dir = fixture.files().directory(fixture.inbox());
    std::filesystem::rename(dir / "new" / unique, dir / "cur" / (unique + ";2,S"));
    Ref<IMessage> message = fixture.openMessage(fixture.messageId(fixture.inbox(), unique));
    ASSERT_TRUE(message);
    Values values;
    getProps(message.get(), {PR_SUBJECT_A, PR_MESSAGE_FLAGS}, values);
    EXPECT_STREQ(values[0].Value.lpszA, "moving");
    EXPECT_TRUE(values[1].Value.l & MSGFLAG_READ);
}

TEST_F(Provider, DeleteMessagesRemovesTheFileOnce) {
    const std::string unique = deliver(fixture, fixture.inbox(), "a@b", "doomed");
    Ref<IMAPIFolder> inbox = fixture.openFolder(fixture.folderId(fixture.inbox()));
    Bytes id = fixture.messageId(fixture.inbox(), unique);
    SBinary binary{ULONG(id.size()), id.data()};
    ENTRYLIST list{1, &binary};
    EXPECT_EQ(inbox->DeleteMessages(&list, 0, nullptr, MESSAGE_DIALOG), S_OK);
    EXPECT_FALSE(fixture.files().findMessage(fixture.inbox(), unique));
    EXPECT_EQ(inbox->DeleteMessages(&list, 0, nullptr, MESSAGE_DIALOG), MAPI_W_PARTIAL_COMPLETION);
    EXPECT_FALSE(fixture.openMessage(id));
    // As real stores: with deferred errors the gone mail opens, and says so at its first use.
    Ref<IMessage> deferred;
    ULONG type = 0;
    ASSERT_EQ(fixture.store()->OpenEntry(ULONG(id.size()), entry(id), nullptr, MAPI_DEFERRED_ERRORS,
                                         &type, deferred.putAs<IUnknown>()),
              S_OK);
    SizedSPropTagArray(1, tags) = {1, {PR_SUBJECT_A}};
    ULONG count = 0;
    SPropValue* values = nullptr;
    EXPECT_EQ(deferred->GetProps(reinterpret_cast<SPropTagArray*>(&tags), 0, &count, &values),
              MAPI_E_NOT_FOUND);
    EXPECT_EQ(values, nullptr);
}

// Identifiers that must be refused: nothing outside the store is opened or deleted.

class HostileIdentifiers : public Provider {
protected:
    void SetUp() override {
        Provider::SetUp();
        outside = fixture.files().root().parent_path() / "outside-canary.eml";
        std::ofstream(outside) << "Subject: canary\r\n\r\nmust survive";
    }
    void TearDown() override { std::filesystem::remove(outside); }

    std::vector<Bytes> hostile() const {
        const devkit::Uid uid = fixture.files().uid();
        devkit::Uid other = uid;
        other[0] ^= 0xFF;
        auto raw = [&](char kind, const std::string& payload) {
            Bytes id = devkit::folderEntryId(uid, "");
            id[20] = kind;
            id.insert(id.end(), payload.begin(), payload.end());
            return id;
        };
        Bytes truncated = fixture.messageId(fixture.inbox(), "x");
        truncated.resize(10);
        return {
            raw('M', std::string("..") + '\0' + "outside-canary.eml"),
            raw('M', std::string("IPM_SUBTREE/Inbox/../../..") + '\0' + "outside-canary.eml"),
            raw('M', std::string("C:/") + '\0' + "x"),
            raw('M', std::string("\\\\server\\share") + '\0' + "x"),
            raw('M', std::string("/tmp") + '\0' + "x"),
            raw('M', fixture.inbox() + '\0' + "../../../outside-canary.eml"),
            raw('M', fixture.inbox() + '\0' + std::string("a\0b", 3)),
            raw('F', ".."),
            raw('F', std::string(2000, 'a')),
            devkit::messageEntryId(other, fixture.inbox(), "x"),
            truncated,
            Bytes{1, 2, 3},
        };
    }
    std::filesystem::path outside;
};

TEST_F(HostileIdentifiers, OpenEntryRefusesThem) {
    for (const Bytes& id : hostile()) {
        IUnknown* object = nullptr;
        ULONG type = 0;
        EXPECT_EQ(fixture.store()->OpenEntry(ULONG(id.size()), entry(id), nullptr, MAPI_MODIFY,
                                             &type, &object),
                  MAPI_E_INVALID_ENTRYID);
        EXPECT_EQ(object, nullptr);
    }
}

TEST_F(HostileIdentifiers, DeleteMessagesRefusesThemAndDeletesNothing) {
    const std::string kept = deliver(fixture, fixture.inbox(), "a@b", "kept");
    Ref<IMAPIFolder> inbox = fixture.openFolder(fixture.folderId(fixture.inbox()));
    for (Bytes id : hostile()) {
        Bytes good = fixture.messageId(fixture.inbox(), kept);
        SBinary pair[2] = {{ULONG(good.size()), good.data()}, {ULONG(id.size()), id.data()}};
        ENTRYLIST list{2, pair};
        EXPECT_EQ(inbox->DeleteMessages(&list, 0, nullptr, 0), MAPI_E_INVALID_ENTRYID);
    }
    EXPECT_TRUE(std::filesystem::exists(outside));
    EXPECT_TRUE(fixture.files().findMessage(fixture.inbox(), kept)) << "all or nothing";
}

// Notifications

class Notifications : public Provider {
protected:
    ULONG advise(const std::string& folder, ULONG mask, RecordingSink& sink) {
        Bytes id = fixture.folderId(folder);
        ULONG connection = 0;
        EXPECT_EQ(fixture.store()->Advise(ULONG(id.size()), entry(id), mask, &sink, &connection),
                  S_OK);
        return connection;
    }
    bool waitFor(const RecordingSink& sink, size_t count, DWORD timeout = 5000) {
        return wt::pumpUntil([&] { return sink.received.size() >= count; }, timeout);
    }
    // Registrations hold the sinks until MAPI is uninitialised, which must come first.
    void TearDown() override { fixture.logoff(); }
    RecordingSink inbox, sub, newMailOnly;
};

TEST_F(Notifications, NewMailArrivesOnlyWhileTheThreadDispatches) {
    advise(fixture.inbox(), allEvents, inbox);
    const std::string unique = deliver(fixture, fixture.inbox(), "a@b", "one");
    Sleep(500);
    EXPECT_TRUE(inbox.received.empty()) << "nothing without a message loop";
    ASSERT_TRUE(waitFor(inbox, 1));
    const auto& got = inbox.received[0];
    EXPECT_EQ(got.event, ULONG(fnevNewMail));
    EXPECT_EQ(got.id, fixture.messageId(fixture.inbox(), unique));
    EXPECT_EQ(got.parent, fixture.folderId(fixture.inbox()));
    EXPECT_EQ(got.messageClass, "IPM.Note");
    EXPECT_EQ(inbox.thread, GetCurrentThreadId());
    wt::pumpFor(300);
    EXPECT_EQ(inbox.received.size(), 1u) << "exactly once";
}

TEST_F(Notifications, BurstArrivesWholeInDeliveryOrder) {
    advise(fixture.inbox(), allEvents, inbox);
    std::vector<Bytes> expected;
    for (int i = 0; i < 300; ++i)
        expected.push_back(
            fixture.messageId(fixture.inbox(), deliver(fixture, fixture.inbox(), "a@b",
                                                       "burst " + std::to_string(i))));
    ASSERT_TRUE(waitFor(inbox, expected.size(), 20000)) << inbox.received.size();
    wt::pumpFor(300);
    ASSERT_EQ(inbox.received.size(), expected.size());
    EXPECT_LT(inbox.calls, expected.size()) << "what came together is handed over together";
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(inbox.received[i].event, ULONG(fnevNewMail));
        EXPECT_EQ(inbox.received[i].id, expected[i]) << i;
    }
}

TEST_F(Notifications, EachSinkHearsOnlyItsFolderAndItsEvents) {
    bool existed = false;
    const std::string projects =
        *fixture.files().createFolder(fixture.inbox(), "Projects", existed);
    advise(fixture.inbox(), allEvents, inbox);
    advise(projects, allEvents, sub);
    advise(fixture.inbox(), fnevNewMail, newMailOnly);

    deliver(fixture, projects, "a@b", "for the subfolder");
    ASSERT_TRUE(waitFor(sub, 1));
    const std::string unique = deliver(fixture, fixture.inbox(), "a@b", "for the inbox");
    ASSERT_TRUE(waitFor(inbox, 1));
    fixture.files().deleteMessage(fixture.inbox(), unique);
    ASSERT_TRUE(waitFor(inbox, 2));
    wt::pumpFor(300);
    EXPECT_EQ(sub.received.size(), 1u);
    ASSERT_EQ(inbox.received.size(), 2u);
    EXPECT_EQ(inbox.received[1].event, ULONG(fnevObjectDeleted));
    EXPECT_EQ(inbox.received[1].id, fixture.messageId(fixture.inbox(), unique));
    EXPECT_EQ(newMailOnly.received.size(), 1u);
}

TEST_F(Notifications, ChangesMovesAndNewFolders) {
    bool existed = false;
    const std::string projects =
        *fixture.files().createFolder(fixture.inbox(), "Projects", existed);
    advise(fixture.inbox(), allEvents, inbox);
    advise(projects, allEvents, sub);
    const std::string unique = deliver(fixture, fixture.inbox(), "a@b", "to be read");
    ASSERT_TRUE(waitFor(inbox, 1));

    const auto dir = fixture.files().directory(fixture.inbox());
    std::filesystem::rename(dir / "new" / unique, dir / "cur" / (unique + ";2,S"));
    ASSERT_TRUE(waitFor(inbox, 2));
    EXPECT_EQ(inbox.received[1].event, ULONG(fnevObjectModified));
    EXPECT_EQ(inbox.received[1].id, fixture.messageId(fixture.inbox(), unique));

    std::filesystem::rename(dir / "cur" / (unique + ";2,S"),
                            fixture.files().directory(projects) / "cur" / (unique + ";2,S"));
    ASSERT_TRUE(waitFor(inbox, 3));
    ASSERT_TRUE(waitFor(sub, 1));
    EXPECT_EQ(inbox.received[2].event, ULONG(fnevObjectMoved));
    EXPECT_EQ(sub.received[0].event, ULONG(fnevObjectMoved));
    EXPECT_EQ(sub.received[0].id, fixture.messageId(projects, unique));
    EXPECT_EQ(sub.received[0].oldParent, fixture.folderId(fixture.inbox()));

    fixture.files().createFolder(fixture.inbox(), "Archive", existed);
    ASSERT_TRUE(waitFor(inbox, 4));
    EXPECT_EQ(inbox.received[3].event, ULONG(fnevObjectCreated));
    EXPECT_EQ(inbox.received[3].objectType, ULONG(MAPI_FOLDER));
    EXPECT_EQ(inbox.received[3].id, fixture.folderId(fixture.inbox() + "/Archive"));
}

TEST_F(Notifications, UnadviseStopsThemAndGivesTheSinkBack) {
    const ULONG connection = advise(fixture.inbox(), allEvents, inbox);
    EXPECT_EQ(inbox.references, 2u);
    EXPECT_EQ(fixture.store()->Unadvise(connection), S_OK);
    EXPECT_EQ(inbox.references, 1u);
    EXPECT_EQ(fixture.store()->Unadvise(connection), MAPI_E_NOT_FOUND);
    deliver(fixture, fixture.inbox(), "a@b", "unheard");
    wt::pumpFor(500);
    EXPECT_TRUE(inbox.received.empty());
}

// A sink that counts the new mails it hears and on which threads; any thread may call it.
class ThreadCountingSink : public IMAPIAdviseSink {
public:
    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    STDMETHODIMP_(ULONG) OnNotify(ULONG count, LPNOTIFICATION notifications) override {
        (GetCurrentThreadId() == home ? here : elsewhere) += count;
        for (ULONG i = 0; i < count; ++i)
            lastMessageClass = notifications[i].info.newmail.lpszMessageClass
                                   ? std::string(notifications[i].info.newmail.lpszMessageClass)
                                   : "";
        return S_OK;
    }
    const DWORD home = GetCurrentThreadId();
    std::atomic<ULONG> here{0}, elsewhere{0}, references{1};
    std::string lastMessageClass; // read once the counts say it is written
};

// As some real providers do: the store's own thread calls the sinks, message loop or not;
// HrThisThreadAdviseSink (reached through mapi32, as a program calls it) brings them back.
TEST(NotificationThreads, WatcherSettingCallsOnTheStoresThreadAndTheForwarderBringsThemHome) {
    StoreFixture fixture;
    setSetting(L"Notifications", "watcher");
    ASSERT_EQ(fixture.logon(), S_OK);
    using Forward = HRESULT(WINAPI*)(LPMAPIADVISESINK, LPMAPIADVISESINK*);
    const auto forward = reinterpret_cast<Forward>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"mapi32.dll"), "HrThisThreadAdviseSink@8")));
    ASSERT_NE(forward, nullptr);
    ThreadCountingSink direct, forwarded;
    Ref<IMAPIAdviseSink> forwarder;
    ASSERT_EQ(forward(&forwarded, forwarder.put()), S_OK);
    ASSERT_TRUE(forwarder);
    EXPECT_NE(static_cast<void*>(forwarder.get()), static_cast<void*>(&forwarded));
    EXPECT_EQ(fixture.advise(fixture.inbox(), fnevNewMail, &direct) != 0, true);
    EXPECT_EQ(fixture.advise(fixture.inbox(), fnevNewMail, forwarder.get()) != 0, true);
    for (int i = 0; i < 3; ++i)
        deliver(fixture, fixture.inbox(), "a@b", "mail " + std::to_string(i));
    ASSERT_TRUE(wt::pumpUntil([&] { return direct.elsewhere == 3; }, 15000)) << "no loop needed";
    ASSERT_TRUE(wt::pumpUntil([&] { return forwarded.here == 3; }, 5000));
    wt::pumpFor(300);
    EXPECT_EQ(direct.here, 0u);
    EXPECT_EQ(forwarded.elsewhere, 0u);
    EXPECT_EQ(forwarded.lastMessageClass, "IPM.Note") << "a copy that outlived the call";
    fixture.logoff();
    forwarder.reset();
    EXPECT_EQ(forwarded.references, 1u) << "the forwarder gave its reference back";
}

// Object lifetimes and fault injection

TEST(ProviderLifetime, EverythingIsReleasedAfterUse) {
    RecordingSink sink;
    {
        StoreFixture fixture;
        ASSERT_EQ(fixture.logon(), S_OK);
        const std::string unique = fixture.files().deliver(fixture.inbox(), "Subject: x\r\n\r\n");
        Ref<IMAPIFolder> inbox = fixture.openFolder(fixture.folderId(fixture.inbox()));
        Ref<IMessage> message = fixture.openMessage(fixture.messageId(fixture.inbox(), unique));
        Ref<IMAPITable> table;
        inbox->GetContentsTable(0, table.put());
        Bytes id = fixture.folderId(fixture.inbox());
        ULONG connection = 0;
        fixture.store()->Advise(ULONG(id.size()), entry(id), allEvents, &sink, &connection);
        EXPECT_GT(providerLiveObjects(), 0);
    }
    EXPECT_EQ(providerLiveObjects(), 0);
    EXPECT_EQ(providerLiveBuffers(), 0);
    EXPECT_EQ(sink.references, 1u) << "MAPIUninitialize gave the registration's reference back";
}

TEST(ProviderFaults, TheChosenCallFailsWithTheChosenCode) {
    StoreFixture fixture("IMAPITable::QueryRows#2=0x80004005; IMsgStore::Advise#1+=0x8004010F");
    ASSERT_EQ(fixture.logon(), S_OK);
    Ref<IMAPITable> table;
    ASSERT_EQ(fixture.session()->GetMsgStoresTable(0, table.put()), S_OK);
    SRowSet* rows = nullptr;
    EXPECT_EQ(table->QueryRows(1, TBL_NOADVANCE, &rows), S_OK);
    freeRows(rows);
    EXPECT_EQ(table->QueryRows(1, TBL_NOADVANCE, &rows), E_FAIL);
    EXPECT_EQ(table->QueryRows(1, TBL_NOADVANCE, &rows), S_OK);
    freeRows(rows);
    RecordingSink sink;
    ULONG connection = 0;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(fixture.store()->Advise(0, nullptr, allEvents, &sink, &connection),
                  MAPI_E_NOT_FOUND);
}

TEST(ProviderFaults, InitialiseAndLogonCanFail) {
    StoreFixture initialise("MAPIInitialize#1=0x80004005");
    EXPECT_EQ(initialise.logon(), E_FAIL);
}

} // namespace
