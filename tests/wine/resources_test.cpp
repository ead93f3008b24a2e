// The resources linked into tavinel.exe, read back from the executable itself.
#include "wine_test.h"

#include "mail/tray_icon.h"
#include "res/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The executable, mapped as data only.
class Resources : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module = LoadLibraryExA(wt::tavinelExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << "cannot map " << wt::tavinelExe();
    }
    static void TearDownTestSuite() { FreeLibrary(module); }

    static std::vector<unsigned char> resource(int id, const char* type) {
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
        if (!found)
            return {};
        auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
        return {data, data + SizeofResource(module, found)};
    }

    static inline HMODULE module = nullptr;
};

template <typename T> T read(const std::vector<unsigned char>& bytes, size_t offset) {
    T value{};
    if (offset + sizeof(T) <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

// Icons

struct IconGroup {
    int id;
    bool envelope;
};

class IconGroups : public Resources, public ::testing::WithParamInterface<IconGroup> {};

// Images drawn for 16, 20, 24 and 32 pixels: the tray's small size at every common DPI.
TEST_P(IconGroups, HoldAnImageOfEachSizeIn16Colours) {
    auto group = resource(GetParam().id, RT_GROUP_ICON);
    ASSERT_GE(group.size(), 6u);
    const WORD count = read<WORD>(group, 4);
    ASSERT_EQ(group.size(), 6u + 14u * count);
    std::vector<int> sizes;
    for (WORD k = 0; k < count; ++k) {
        const size_t entry = 6 + 14 * k;
        const int size = group[entry];
        sizes.push_back(size);
        EXPECT_EQ(group[entry + 1], size);          // square
        EXPECT_EQ(group[entry + 2], 16);            // colours
        EXPECT_EQ(read<WORD>(group, entry + 6), 4); // bits per pixel
        auto image = resource(read<WORD>(group, entry + 12), RT_ICON);
        const size_t colourStride = (size * 4 + 31) / 32 * 4, maskStride = (size + 31) / 32 * 4;
        ASSERT_GE(image.size(), 40u + 64 + (colourStride + maskStride) * size) << size;
        EXPECT_EQ(read<LONG>(image, 4), size);
        EXPECT_EQ(read<LONG>(image, 8), 2 * size); // colour image and mask
        EXPECT_EQ(read<WORD>(image, 14), 4);

        // The AND mask follows the 16 colours and the 4-bit pixels.
        const size_t maskStart = 40 + 16 * 4 + colourStride * size;
        int opaque = 0, yellow = 0, black = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                if (image[maskStart + y * maskStride + x / 8] & (0x80 >> (x % 8)))
                    continue;
                ++opaque;
                const unsigned char pair = image[40 + 64 + y * colourStride + x / 2];
                const int index = x % 2 ? pair & 0x0F : pair >> 4;
                const auto* colour = &image[40 + index * 4]; // blue, green, red
                if (colour[2] > 200 && colour[1] > 200 && colour[0] < 80)
                    ++yellow;
                if (colour[0] < 40 && colour[1] < 40 && colour[2] < 40)
                    ++black;
            }
        if (GetParam().envelope) {
            EXPECT_GT(yellow, size * size / 5) << size << ": a yellow envelope";
            EXPECT_GT(black, 2 * size) << size << ": with a black outline and flap lines";
            EXPECT_LT(opaque, size * size) << size << ": on transparent ground";
        } else {
            EXPECT_EQ(opaque, 0) << size << ": entirely transparent";
        }
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32}));
}

TEST(TrayIcons, AreLoadedAtTheSmallIconSize) {
    HICON icons[4] = {};
    loadTrayIcons(GetModuleHandleA(nullptr), icons);
    for (HICON icon : icons) {
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap{};
        GetObjectA(info.hbmMask, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, GetSystemMetrics(SM_CXSMICON));
        DeleteObject(info.hbmMask);
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
    }
}

INSTANTIATE_TEST_SUITE_P(TrayIcons, IconGroups,
                         ::testing::Values(IconGroup{IDI_ENVELOPE, true},
                                           IconGroup{IDI_BLANK, false},
                                           IconGroup{IDI_ENVELOPE_AGAIN, true},
                                           IconGroup{IDI_BLANK_AGAIN, false}));

// Pictures

void expectPackedBitmap(const std::vector<unsigned char>& bitmap, LONG width, LONG height,
                        WORD bitsPerPixel) {
    ASSERT_GE(bitmap.size(), 40u);
    EXPECT_EQ(read<DWORD>(bitmap, 0), 40u) << "40-byte header";
    EXPECT_EQ(read<LONG>(bitmap, 4), width);
    EXPECT_EQ(read<LONG>(bitmap, 8), height);
    EXPECT_EQ(read<WORD>(bitmap, 14), bitsPerPixel);
    EXPECT_EQ(read<DWORD>(bitmap, 16), DWORD(BI_RGB)) << "uncompressed";
    const size_t colours = size_t(1) << bitsPerPixel;
    const size_t stride = ((width * bitsPerPixel + 31) / 32) * 4;
    EXPECT_EQ(bitmap.size(), 40 + colours * 4 + stride * height) << "full colour table and pixels";
}

TEST_F(Resources, SplashPictureIs380By266With256Colours) {
    expectPackedBitmap(resource(IDB_SPLASH, RT_BITMAP), 380, 266, 8);
}

TEST_F(Resources, AgendaPictureIs58By59With16Colours) {
    auto agenda = resource(IDB_AGENDA, RT_BITMAP);
    expectPackedBitmap(agenda, 58, 59, 4);
    // Light-grey ground: the corners are silver.
    const size_t stride = ((58 * 4 + 31) / 32) * 4;
    const int corner = agenda[40 + 64 + (59 - 1) * stride] >> 4;
    EXPECT_EQ(read<DWORD>(agenda, 40 + corner * 4) & 0xFFFFFF, 0xC0C0C0u);
}

// The clip: RIFF AVI, one uncompressed 8-bit video stream, 62 frames of 250 x 32 at 15 per second.
struct Chunk {
    std::string id;
    size_t data;
    size_t size;
};

std::vector<Chunk> chunks(const std::vector<unsigned char>& riff, size_t begin, size_t end) {
    std::vector<Chunk> found;
    for (size_t at = begin; at + 8 <= end;) {
        const size_t size = read<DWORD>(riff, at + 4);
        found.push_back({std::string(reinterpret_cast<const char*>(&riff[at]), 4), at + 8, size});
        at += 8 + size + (size & 1);
    }
    return found;
}

const Chunk* list(const std::vector<Chunk>& in, const std::vector<unsigned char>& riff,
                  const char* type) {
    for (const Chunk& c : in)
        if (c.id == "LIST" && std::memcmp(&riff[c.data], type, 4) == 0)
            return &c;
    return nullptr;
}

TEST_F(Resources, ClipIs62UncompressedFramesAt15PerSecond) {
    auto avi = resource(IDR_CLIP, "AVI");
    ASSERT_GE(avi.size(), 12u);
    ASSERT_EQ(std::string(avi.begin(), avi.begin() + 4), "RIFF");
    ASSERT_EQ(std::string(avi.begin() + 8, avi.begin() + 12), "AVI ");
    auto top = chunks(avi, 12, avi.size());

    const Chunk* header = list(top, avi, "hdrl");
    ASSERT_NE(header, nullptr);
    auto inHeader = chunks(avi, header->data + 4, header->data + header->size);
    ASSERT_EQ(inHeader.front().id, "avih");
    const size_t avih = inHeader.front().data;
    EXPECT_EQ(read<DWORD>(avi, avih + 0), 66667u) << "microseconds per frame";
    EXPECT_EQ(read<DWORD>(avi, avih + 16), 62u) << "frames";
    EXPECT_EQ(read<DWORD>(avi, avih + 24), 1u) << "streams";
    EXPECT_EQ(read<DWORD>(avi, avih + 32), 250u);
    EXPECT_EQ(read<DWORD>(avi, avih + 36), 32u);

    int streams = 0;
    for (const Chunk& c : inHeader)
        if (c.id == "LIST" && std::memcmp(&avi[c.data], "strl", 4) == 0) {
            ++streams;
            auto inStream = chunks(avi, c.data + 4, c.data + c.size);
            ASSERT_EQ(inStream.at(0).id, "strh");
            const size_t strh = inStream[0].data;
            EXPECT_EQ(std::string(avi.begin() + strh, avi.begin() + strh + 4), "vids");
            EXPECT_EQ(read<DWORD>(avi, strh + 24) / read<DWORD>(avi, strh + 20), 15u) << "rate";
            EXPECT_EQ(read<DWORD>(avi, strh + 32), 62u) << "length";
            ASSERT_EQ(inStream.at(1).id, "strf");
            const size_t strf = inStream[1].data;
            EXPECT_EQ(read<LONG>(avi, strf + 4), 250);
            EXPECT_EQ(read<LONG>(avi, strf + 8), 32);
            EXPECT_EQ(read<WORD>(avi, strf + 14), 8);
            EXPECT_EQ(read<DWORD>(avi, strf + 16), DWORD(BI_RGB));
        }
    EXPECT_EQ(streams, 1) << "video only";

    const Chunk* movie = list(top, avi, "movi");
    ASSERT_NE(movie, nullptr);
    int frames = 0;
    for (const Chunk& c : chunks(avi, movie->data + 4, movie->data + movie->size))
        if (c.id == "00db" || c.id == "00dc") {
            ++frames;
            EXPECT_EQ(c.size, 252u * 32) << "one uncompressed 8-bit frame";
        }
    EXPECT_EQ(frames, 62);
}

TEST_F(Resources, AnimationControlOpensAndPlaysTheClip) {
    HWND host = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 60, nullptr, nullptr, nullptr,
                                nullptr);
    HWND animation = CreateWindowExA(0, ANIMATE_CLASSA, "", WS_CHILD | ACS_TRANSPARENT | ACS_CENTER,
                                     0, 0, 250, 32, host, nullptr, nullptr, nullptr);
    ASSERT_NE(animation, nullptr);
    EXPECT_TRUE(SendMessageA(animation, ACM_OPENA, reinterpret_cast<WPARAM>(module),
                             reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(IDR_CLIP))));
    EXPECT_TRUE(SendMessageA(animation, ACM_PLAY, WPARAM(-1), MAKELPARAM(0, 0xFFFF)));
    wt::pumpFor(200);
    EXPECT_TRUE(SendMessageA(animation, ACM_STOP, 0, 0));
    DestroyWindow(host);
}

// Dialog templates, parsed from their extended binary form.
struct Control {
    DWORD id;
    std::string className;
    std::string text;
    short x, y, cx, cy;
    DWORD style; // without WS_CHILD and WS_VISIBLE
    DWORD exStyle;
};

struct Dialog {
    DWORD style;
    DWORD exStyle;
    short cx, cy;
    std::string menu, caption, font;
    WORD points;
    std::vector<Control> controls;
};

class TemplateReader {
public:
    explicit TemplateReader(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
    template <typename T> T next() {
        T value = read<T>(bytes_, at_);
        at_ += sizeof(T);
        return value;
    }
    // A string or an ordinal, written as "#n".
    std::string nameOrOrdinal() {
        const WORD first = read<WORD>(bytes_, at_);
        if (first == 0xFFFF) {
            at_ += 2;
            return "#" + std::to_string(next<WORD>());
        }
        std::string text;
        for (WORD c; (c = next<WORD>()) != 0 && at_ <= bytes_.size();)
            text += char(c);
        return text;
    }
    void alignToDword() { at_ = (at_ + 3) & ~size_t(3); }
    void skip(size_t bytes) { at_ += bytes; }

private:
    const std::vector<unsigned char>& bytes_;
    size_t at_ = 0;
};

std::string predefinedClass(const std::string& name) {
    static const char* const names[] = {"Button",  "Edit",      "Static",
                                        "ListBox", "ScrollBar", "ComboBox"};
    for (int i = 0; i < 6; ++i)
        if (name == "#" + std::to_string(0x80 + i) || _stricmp(name.c_str(), names[i]) == 0)
            return names[i];
    return name;
}

Dialog parseDialog(const std::vector<unsigned char>& bytes) {
    TemplateReader in(bytes);
    Dialog dialog{};
    EXPECT_EQ(in.next<WORD>(), 1);      // version
    EXPECT_EQ(in.next<WORD>(), 0xFFFF); // extended template
    in.skip(4);                         // help id
    dialog.exStyle = in.next<DWORD>();
    dialog.style = in.next<DWORD>();
    const WORD count = in.next<WORD>();
    in.skip(4); // x, y
    dialog.cx = in.next<short>();
    dialog.cy = in.next<short>();
    dialog.menu = in.nameOrOrdinal();
    in.nameOrOrdinal(); // class
    dialog.caption = in.nameOrOrdinal();
    if (dialog.style & DS_SETFONT) {
        dialog.points = in.next<WORD>();
        in.skip(4); // weight, italic, character set
        dialog.font = in.nameOrOrdinal();
    }
    for (WORD i = 0; i < count; ++i) {
        in.alignToDword();
        Control control{};
        in.skip(4); // help id
        control.exStyle = in.next<DWORD>();
        control.style = in.next<DWORD>() & ~(WS_CHILD | WS_VISIBLE);
        control.x = in.next<short>();
        control.y = in.next<short>();
        control.cx = in.next<short>();
        control.cy = in.next<short>();
        control.id = in.next<DWORD>();
        control.className = predefinedClass(in.nameOrOrdinal());
        control.text = in.nameOrOrdinal();
        in.skip(in.next<WORD>()); // creation data
        dialog.controls.push_back(control);
    }
    return dialog;
}

void expectControls(const Dialog& dialog, const std::vector<Control>& expected) {
    ASSERT_EQ(dialog.controls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Control& got = dialog.controls[i];
        const Control& want = expected[i];
        SCOPED_TRACE("control " + std::to_string(i) + " \"" + want.text + "\"");
        EXPECT_EQ(got.id, want.id);
        EXPECT_STRCASEEQ(got.className.c_str(), want.className.c_str()); // windres upper-cases them
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        EXPECT_EQ(got.style, want.style) << std::hex << got.style << " vs " << want.style;
        EXPECT_EQ(got.exStyle, want.exStyle);
    }
}

constexpr DWORD none = DWORD(-1);

TEST_F(Resources, NotificationWindowTemplate) {
    Dialog dialog = parseDialog(resource(IDD_NOTIFICATION, RT_DIALOG));
    EXPECT_EQ(dialog.caption, "Tavinel 2.0");
    EXPECT_EQ(dialog.menu, "#148");
    EXPECT_EQ(dialog.font, "MS Sans Serif");
    EXPECT_EQ(dialog.points, 8);
    EXPECT_EQ(dialog.cx, 266);
    EXPECT_EQ(dialog.cy, 255);
    EXPECT_EQ(dialog.style & ~DS_SETFONT, DWORD(DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION));
    EXPECT_EQ(dialog.exStyle, DWORD(WS_EX_TOOLWINDOW));
    const DWORD label = SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX; // "AT&T" shown as it is
    expectControls(
        dialog, {
                    {none, "Button", "&Mail from", 6, 2, 253, 60, BS_GROUPBOX, 0},
                    {IDC_ANIMATION, "SysAnimate32", "", 12, 12, 238, 21,
                     ACS_CENTER | ACS_TRANSPARENT | ACS_AUTOPLAY, 0},
                    {IDC_SENDER, "Static", "", 12, 34, 237, 11, label,
                     WS_EX_CLIENTEDGE | WS_EX_TRANSPARENT},
                    {IDC_SUBJECT, "Static", "", 12, 47, 237, 11, label, WS_EX_CLIENTEDGE},
                    {none, "Button", "&Notification history", 6, 66, 253, 70, BS_GROUPBOX, 0},
                    {IDC_HISTORY, "SysListView32", "", 13, 77, 236, 55,
                     LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP,
                     WS_EX_CLIENTEDGE},
                    {none, "Button", "Preview me&ssage", 6, 137, 253, 105, BS_GROUPBOX, 0},
                    {IDC_PREVIEW, "Edit", "", 15, 148, 236, 88,
                     ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL |
                         WS_BORDER | WS_TABSTOP,
                     0},
                });
}

TEST_F(Resources, SetupDialogTemplate) {
    Dialog dialog = parseDialog(resource(IDD_SETUP, RT_DIALOG));
    EXPECT_EQ(dialog.caption, "Setup of Tavinel 2.0 ");
    EXPECT_EQ(dialog.font, "MS Sans Serif");
    EXPECT_EQ(dialog.points, 8);
    EXPECT_EQ(dialog.cx, 267);
    EXPECT_EQ(dialog.cy, 197);
    EXPECT_EQ(dialog.style & ~DS_SETFONT,
              DWORD(DS_MODALFRAME | DS_3DLOOK | WS_POPUP | WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(dialog.exStyle, DWORD(WS_EX_TOOLWINDOW | WS_EX_CLIENTEDGE));
    const DWORD check = BS_AUTOCHECKBOX | WS_TABSTOP;
    const DWORD edit = ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
    const DWORD button = BS_PUSHBUTTON | WS_TABSTOP;
    const DWORD group = SS_LEFT | WS_GROUP;
    expectControls(
        dialog,
        {
            {IDOK, "Button", "OK", 186, 181, 34, 13, BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
            {IDCANCEL, "Button", "Cancel", 227, 181, 34, 13, button, 0},
            {IDC_MSMAIL_SERVER, "Button", "MS-Mail Server", 14, 11, 69, 14, check, 0},
            {none, "Button", "", 7, 5, 252, 44, BS_GROUPBOX, 0},
            {none, "Static", "&Polling time", 14, 29, 38, 9, group, 0},
            {IDC_POLLING_TIME, "Edit", "", 55, 25, 16, 13, edit | WS_DISABLED, 0},
            {IDC_READER_PATH, "Edit", "", 81, 76, 155, 13, edit, 0},
            {IDC_BROWSE_READER, "Button", "...", 241, 76, 11, 13, button, 0},
            {IDC_DISPLAY_WINDOW, "Button", "Show window when new mail arrives", 14, 145, 130, 13,
             check, 0},
            {none, "Static", "1/10 sec.", 77, 29, 55, 9, group, 0},
            {none, "Button", "Read Mail", 7, 52, 253, 45, BS_GROUPBOX, 0},
            {IDC_OUTLOOK, "Button", "Microsoft Outlook", 14, 65, 67, 8, BS_AUTORADIOBUTTON, 0},
            {IDC_OTHER_READER, "Button", "Other", 14, 79, 67, 8, BS_AUTORADIOBUTTON, 0},
            {IDC_CALENDAR, "Button", "Calendar Reminder", 14, 163, 130, 8, check, 0},
            {IDC_PLAY_SOUND, "Button", "Play Sound File", 14, 116, 63, 10, check, 0},
            {IDC_SOUND_FILE, "Edit", "", 81, 113, 155, 13, edit | WS_DISABLED, 0},
            {IDC_BROWSE_SOUND, "Button", "...", 241, 113, 11, 13, button | WS_DISABLED, 0},
            {none, "Button", "Options", 7, 103, 253, 73, BS_GROUPBOX, 0},
            {IDC_TIMER, "Edit", "", 81, 128, 17, 12, edit | WS_DISABLED, 0},
            {IDC_TIMER_ENABLED, "Button", "Enabled timer ", 14, 132, 60, 8, check, 0},
            {none, "Static", "Seconds ", 101, 132, 54, 9, group, 0},
        });
}

TEST_F(Resources, ReminderWindowTemplate) {
    Dialog dialog = parseDialog(resource(IDD_REMINDER, RT_DIALOG));
    EXPECT_EQ(dialog.caption, "Appointement Reminder");
    EXPECT_EQ(dialog.font, "MS Sans Serif");
    EXPECT_EQ(dialog.cx, 210);
    EXPECT_EQ(dialog.cy, 91);
    EXPECT_EQ(dialog.style & ~DS_SETFONT,
              DWORD(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU));
    // "Date & Time", and subjects and locations, show an ampersand as it is.
    const DWORD text = SS_LEFT | SS_NOPREFIX | WS_GROUP;
    expectControls(dialog,
                   {
                       {IDOK, "Button", "OK", 169, 71, 34, 13, BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
                       {IDC_APPOINTMENT, "Static", "Static", 7, 37, 158, 13, text, 0},
                       {IDC_LOCATION, "Static", "Static", 7, 54, 166, 13, text, 0},
                       {IDC_REMINDER_DATE, "Static", "Static", 7, 16, 143, 8, text, 0},
                       {none, "Static", "#121", 170, 7, 33, 28, SS_BITMAP, 0},
                   });
}

// Menus, the accelerator and the string

std::vector<std::pair<UINT, std::string>> menuItems(HMENU menu) {
    std::vector<std::pair<UINT, std::string>> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[64] = {};
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        GetMenuItemInfoA(menu, i, TRUE, &info);
        items.emplace_back(info.wID, text); // separators carry identifier 0
    }
    return items;
}

TEST_F(Resources, TrayPopUpMenuIsTheFirstSubMenuOf113) {
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(IDR_TRAY_MENU));
    ASSERT_NE(menu, nullptr);
    using Items = std::vector<std::pair<UINT, std::string>>;
    EXPECT_EQ(menuItems(GetSubMenu(menu, 0)), (Items{{ID_OPEN, "Open"},
                                                     {ID_PAUSE, "Pause"},
                                                     {ID_CONFIGURE, "Configure..."},
                                                     {0, ""},
                                                     {ID_ABOUT, "About..."},
                                                     {0, ""},
                                                     {ID_EXIT, "Exit"}}));
    DestroyMenu(menu);
}

TEST_F(Resources, MenuBarHoldsCommandsOnly) {
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(IDR_MENU_BAR));
    ASSERT_NE(menu, nullptr);
    using Items = std::vector<std::pair<UINT, std::string>>;
    EXPECT_EQ(menuItems(menu), (Items{{ID_MENU_BAR_SPACER, ""},
                                      {ID_EXPAND, "Expand"},
                                      {ID_COLLAPSE, "Collapse"},
                                      {ID_READ_NOW, "Read now"},
                                      {ID_DELETE, "Delete"},
                                      {ID_CLOSE, "Close"}}));
    for (int i = 0; i < GetMenuItemCount(menu); ++i)
        EXPECT_EQ(GetSubMenu(menu, i), nullptr);
    DestroyMenu(menu);
}

TEST_F(Resources, AltCIsTheOnlyAccelerator) {
    HACCEL table = LoadAcceleratorsA(module, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    ASSERT_NE(table, nullptr);
    ACCEL entries[4];
    ASSERT_EQ(CopyAcceleratorTableA(table, entries, 4), 1);
    EXPECT_EQ(entries[0].key, 'C');
    EXPECT_EQ(entries[0].cmd, ID_CLOSE_SYNONYM);
    EXPECT_EQ(entries[0].fVirt & (FALT | FVIRTKEY), FALT | FVIRTKEY);
    DestroyAcceleratorTable(table);
}

TEST_F(Resources, StringThreeAsksForAMailReader) {
    char text[128] = {};
    ASSERT_GT(LoadStringA(module, IDS_NEED_MAIL_READER, text, sizeof text), 0);
    EXPECT_STREQ(text, "You have to enter a valid mail reader");
}

} // namespace
