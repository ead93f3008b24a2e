// The reader's application object from a client process, the way a mail notifier reaches a
// mail client: by its programmatic identifier, late-bound through IDispatch.
#include "automation.h"
#include "kit_reader.h"
#include "mapi_test_support.h"
#include "reader_window.h"
#include "wine_test.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace {

using kit::Ref;

// A variant that clears itself.
struct Variant : VARIANT {
    Variant() { VariantInit(this); }
    explicit Variant(const std::string& text) : Variant() {
        V_VT(this) = VT_BSTR;
        V_BSTR(this) = SysAllocStringLen(nullptr, UINT(text.size()));
        for (size_t i = 0; i < text.size(); ++i)
            V_BSTR(this)[i] = wchar_t(static_cast<unsigned char>(text[i]));
    }
    static Variant missing() {
        Variant value;
        V_VT(&value) = VT_ERROR;
        V_ERROR(&value) = DISP_E_PARAMNOTFOUND;
        return value;
    }
    Variant(Variant&& other) noexcept : VARIANT(other) { VariantInit(&other); }
    ~Variant() { VariantClear(this); }
};

// Arguments are given first-first and passed last-first, as Invoke wants them.
HRESULT invoke(IDispatch* object, DISPID id, std::vector<Variant> arguments = {},
               VARIANT* result = nullptr) {
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS parameters{reversed.data(), nullptr, UINT(reversed.size()), 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, result,
                          nullptr, nullptr);
}

Ref<IDispatch> dispatchOf(VARIANT& result) {
    if (V_VT(&result) != VT_DISPATCH)
        return {};
    Ref<IDispatch> object(V_DISPATCH(&result));
    V_VT(&result) = VT_EMPTY;
    return object;
}

class Reader : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        files.createStandardLayout();
        kit::setSetting(L"StoreRoot", files.root());
        kit::setSetting(L"Faults", "");
    }
    void TearDown() override {
        kit::setSetting(L"Faults", "");
        std::error_code ignored;
        devkit::fs::remove_all(files.root(), ignored);
        CoUninitialize();
    }

    Ref<IDispatch> application() {
        CLSID id{};
        Ref<IUnknown> unknown;
        Ref<IDispatch> application;
        if (SUCCEEDED(CLSIDFromProgID(L"Outlook.application", &id)) &&
            SUCCEEDED(CoCreateInstance(id, nullptr, 7, IID_IUnknown, unknown.putAs<void>())) &&
            SUCCEEDED(OleRun(unknown.get())))
            unknown->QueryInterface(IID_IDispatch, application.putAs<void>());
        return application;
    }
    // Application, GetNamespace("MAPI") and Logon with four missing arguments.
    Ref<IDispatch> loggedOnNameSpace(Ref<IDispatch>& application) {
        application = this->application();
        Variant result;
        if (!application || FAILED(invoke(application.get(), reader::dispidGetNamespace,
                                          vec(Variant("MAPI")), &result)))
            return {};
        Ref<IDispatch> space = dispatchOf(result);
        std::vector<Variant> missing;
        for (int i = 0; i < 4; ++i)
            missing.push_back(Variant::missing());
        if (!space || FAILED(invoke(space.get(), reader::dispidLogon, std::move(missing))))
            return {};
        return space;
    }
    static std::vector<Variant> vec(Variant a) {
        std::vector<Variant> v;
        v.push_back(std::move(a));
        return v;
    }
    static std::vector<Variant> vec(Variant a, Variant b) {
        std::vector<Variant> v = vec(std::move(a));
        v.push_back(std::move(b));
        return v;
    }

    std::string deliver(const std::string& subject) {
        return files.deliver(inbox, devkit::composeMessage("Ann Example <ann@example.org>",
                                                           "Bob <bob@example.org>", subject,
                                                           "Shall we meet\nat noon?", 1800000000));
    }
    std::string entryText(const std::string& unique) const {
        return wt::hexText(devkit::messageEntryId(files.uid(), inbox, unique));
    }
    std::string storeText() const { return wt::hexText(devkit::storeEntryId(files.uid())); }

    wt::KitReader reader;
    devkit::MaildirStore files{kit::temporaryStoreRoot(L"reader-store-")};
    const std::string inbox = "IPM_SUBTREE/Inbox";
};

TEST_F(Reader, DisplayOpensTheMessageInAWindowAndBringsAnOpenOneForward) {
    const std::string unique = deliver("Lunch at noon?");
    {
        Ref<IDispatch> application;
        Ref<IDispatch> space = loggedOnNameSpace(application);
        ASSERT_TRUE(space);
        Variant result;
        ASSERT_EQ(invoke(space.get(), reader::dispidGetItemFromID,
                         vec(Variant(entryText(unique)), Variant(storeText())), &result),
                  S_OK);
        Ref<IDispatch> item = dispatchOf(result);
        ASSERT_TRUE(item);
        DISPID display = 0;
        LPOLESTR name = const_cast<LPOLESTR>(L"dISPLAY");
        ASSERT_EQ(item->GetIDsOfNames(IID_NULL, &name, 1, 0x0400, &display), S_OK);
        for (int i = 0; i < 100; ++i)
            ASSERT_EQ(invoke(item.get(), display), S_OK);
        // Another message has a window of its own.
        Variant other;
        ASSERT_EQ(invoke(space.get(), reader::dispidGetItemFromID,
                         vec(Variant(entryText(deliver("Other"))), Variant(storeText())), &other),
                  S_OK);
        ASSERT_EQ(invoke(dispatchOf(other).get(), display), S_OK);
        LPOLESTR unknown = const_cast<LPOLESTR>(L"Send");
        DISPID none = 0;
        EXPECT_EQ(item->GetIDsOfNames(IID_NULL, &unknown, 1, 0x0400, &none), DISP_E_UNKNOWNNAME);
    }
    const HWND window = wt::KitReader::waitForWindow("Lunch at noon?");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(wt::KitReader::waitForWindow("Other"));
    EXPECT_EQ(wt::KitReader::windows().size(), 2u) << "one window a message";
    EXPECT_EQ(wt::controlText(window, reader::fieldFrom), "Ann Example <ann@example.org>");
    EXPECT_EQ(wt::controlText(window, reader::fieldTo), "Bob <bob@example.org>");
    EXPECT_EQ(wt::controlText(window, reader::fieldDate), "Fri, 15 Jan 2027 08:00:00 +0000");
    EXPECT_EQ(wt::controlText(window, reader::fieldSubject), "Lunch at noon?");
    EXPECT_EQ(wt::controlText(window, reader::fieldBody), "Shall we meet\r\nat noon?");

    ASSERT_TRUE(reader.waitForNoObjects()) << "every reference released";
    std::vector<std::string> calls, locales;
    for (const std::string& line : reader.log())
        (line.starts_with("Invoke(") || line.starts_with("GetIDsOfNames(") ? locales : calls)
            .push_back(line);
    const std::vector<std::string> first(calls.begin() + 1, calls.begin() + 5);
    EXPECT_EQ(first, (std::vector<std::string>{"GetNamespace(\"MAPI\")",
                                               "Logon(missing, missing, missing, missing)",
                                               "GetItemFromID(\"" + entryText(unique) + "\", \"" +
                                                   storeText() + "\") -> MailItem",
                                               "Display() -> window \"Lunch at noon?\""}));
    ASSERT_GE(locales.size(), 4u);
    EXPECT_EQ(locales[0], "Invoke(0x110) locale 0x0400");
    EXPECT_EQ(locales[3], "GetIDsOfNames(\"dISPLAY\") locale 0x0400");
}

// A FIFO blocks whoever reads it until a writer comes; a message swapped for a link after the
// reader checked it is not read through the link.
TEST_F(Reader, OnlyTheRegularFileThatWasCheckedIsRead) {
    const std::string good = deliver("Lunch at noon?");
    const std::string fifo = "1700000009.P1Q9.fifo";
    ASSERT_TRUE(kit::fifoFromLinux(files.directory(inbox) / "cur" / (fifo + ":2,S")));
    const auto outside = kit::temporaryStoreRoot(L"reader-outside-");
    devkit::fs::create_directories(outside);
    const auto secret = outside / "secret";
    std::ofstream(secret, std::ios::binary) << "Subject: secret\r\n\r\nkeep out";
    kit::setSetting(L"Faults", "File::read#1=0x80004005"); // the FIFO is refused unread
    const auto message = files.findMessage(inbox, good).value().file;
    std::thread swapper = kit::swapWhileReadIsHeld([&] {
        devkit::fs::rename(message, outside / "taken");
        kit::symlinkFromLinux(secret, message);
    });
    {
        Ref<IDispatch> application;
        Ref<IDispatch> space = loggedOnNameSpace(application);
        ASSERT_TRUE(space);
        const ULONGLONG began = GetTickCount64();
        Variant refused;
        EXPECT_TRUE(FAILED(invoke(space.get(), reader::dispidGetItemFromID,
                                  vec(Variant(entryText(fifo)), Variant(storeText())), &refused)));
        EXPECT_LT(GetTickCount64() - began, 5000u) << "the FIFO was not waited on";
        Variant result;
        ASSERT_EQ(invoke(space.get(), reader::dispidGetItemFromID,
                         vec(Variant(entryText(good)), Variant(storeText())), &result),
                  S_OK);
        DISPID display = 0;
        LPOLESTR name = const_cast<LPOLESTR>(L"Display");
        Ref<IDispatch> item = dispatchOf(result);
        ASSERT_TRUE(item);
        ASSERT_EQ(item->GetIDsOfNames(IID_NULL, &name, 1, 0x0400, &display), S_OK);
        ASSERT_EQ(invoke(item.get(), display), S_OK);
    }
    swapper.join();
    EXPECT_NE(devkit::readFile(message).find("secret"), std::string::npos)
        << "swapped while the read was held";
    EXPECT_TRUE(wt::KitReader::waitForWindow("Lunch at noon?"));
    EXPECT_EQ(wt::KitReader::windows().size(), 1u) << "never the secret";
    kit::removeTreeFromLinux(files.directory(inbox));
    devkit::fs::remove_all(outside);
}

TEST_F(Reader, IdentifiersThatNameNoMessageOfTheStoreAreErrorsNeverItems) {
    const std::string unique = deliver("Kept");
    const std::string gone = deliver("Gone");
    ASSERT_TRUE(files.deleteMessage(inbox, gone));
    devkit::Uid otherStore = files.uid();
    otherStore[15] ^= 0xFF;
    struct Case {
        const char* what;
        std::string entry, store;
    };
    const Case cases[] = {
        {"odd length", entryText(unique).substr(1), storeText()},
        {"not hexadecimal", "0X" + entryText(unique).substr(2), storeText()},
        {"100,000 characters", std::string(100000, 'A'), storeText()},
        {"another store", entryText(unique), wt::hexText(devkit::storeEntryId(otherStore))},
        {"arguments swapped", storeText(), entryText(unique)},
        {"nothing shown", "", ""},
        {"gone", entryText(gone), storeText()},
    };
    {
        Ref<IDispatch> application;
        Ref<IDispatch> space = loggedOnNameSpace(application);
        ASSERT_TRUE(space);
        for (const Case& c : cases) {
            Variant result;
            EXPECT_TRUE(FAILED(invoke(space.get(), reader::dispidGetItemFromID,
                                      vec(Variant(c.entry), Variant(c.store)), &result)))
                << c.what;
            EXPECT_NE(V_VT(&result), VT_DISPATCH) << c.what;
        }
    }
    EXPECT_TRUE(reader.waitForNoObjects());
    EXPECT_TRUE(reader.waitForLine("(100000 characters), \"" + storeText() +
                                   "\") -> not an identifier of a message"));
    EXPECT_TRUE(wt::KitReader::windows().empty());
}

TEST_F(Reader, RefusedLogonAndFailingDisplayAreSwitchedOnLikeTheStoresFaults) {
    const std::string unique = deliver("Switched");
    kit::setSetting(L"Faults", "NameSpace::Logon#1=0x80040111");
    {
        Ref<IDispatch> application;
        EXPECT_FALSE(loggedOnNameSpace(application)) << "logon refused";
    }
    // Each application object reads the switches again.
    kit::setSetting(L"Faults", "MailItem::Display#1+=0x80004005");
    {
        Ref<IDispatch> application;
        Ref<IDispatch> space = loggedOnNameSpace(application);
        ASSERT_TRUE(space);
        Variant result;
        ASSERT_EQ(invoke(space.get(), reader::dispidGetItemFromID,
                         vec(Variant(entryText(unique)), Variant(storeText())), &result),
                  S_OK);
        Ref<IDispatch> item = dispatchOf(result);
        ASSERT_TRUE(item);
        EXPECT_TRUE(FAILED(invoke(item.get(), reader::dispidDisplay)));
    }
    EXPECT_TRUE(reader.waitForNoObjects());
    EXPECT_TRUE(reader.waitForLine("Display() -> injected fault"));
    EXPECT_TRUE(wt::KitReader::windows().empty());
}

} // namespace
