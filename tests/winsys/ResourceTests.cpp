// The File Loader dialog template and icon as the module carries them, read from the resource bytes.
#include "resources/resource.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

struct ItemTemplate {
    DWORD style;
    WORD id;
    std::string className;  // lower case; predefined classes by their ordinal's name
    std::string text;
    short x, y, cx, cy;
};

struct DialogTemplate {
    DWORD style, exStyle;
    short x, y, cx, cy;
    std::string caption, font;
    WORD pointSize;
    std::vector<ItemTemplate> items;
};

class Reader {
public:
    explicit Reader(const BYTE* p) : start(p), p(p) {}
    WORD word() { WORD w; std::memcpy(&w, p, 2); p += 2; return w; }
    DWORD dword() { DWORD d; std::memcpy(&d, p, 4); p += 4; return d; }
    short shortValue() { return static_cast<short>(word()); }
    std::string text()  // a zero-terminated UTF-16 string of ASCII characters
    {
        std::string out;
        for (WORD c = word(); c; c = word())
            out += static_cast<char>(c);
        return out;
    }
    std::string nameOrOrdinal()
    {
        WORD first;
        std::memcpy(&first, p, 2);
        if (first == 0xFFFF) {
            word();
            switch (word()) {
            case 0x80: return "button";
            case 0x82: return "static";
            case 0x83: return "listbox";
            default: return "ordinal";
            }
        }
        std::string name = text();
        for (char& c : name)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        return name;
    }
    void alignDword() { p = start + ((p - start + 3) & ~3); }

private:
    const BYTE* start;
    const BYTE* p;
};

DialogTemplate loadTemplate(WORD id)
{
    HRSRC found = FindResourceA(testInstance(), MAKEINTRESOURCEA(id), reinterpret_cast<LPCSTR>(RT_DIALOG));
    EXPECT_NE(nullptr, found);
    auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(testInstance(), found)));
    Reader r(bytes);
    DialogTemplate t{};
    t.style = r.dword();
    t.exStyle = r.dword();
    WORD count = r.word();
    t.x = r.shortValue(); t.y = r.shortValue(); t.cx = r.shortValue(); t.cy = r.shortValue();
    r.nameOrOrdinal();  // menu
    r.nameOrOrdinal();  // class
    t.caption = r.text();
    if (t.style & DS_SETFONT) {
        t.pointSize = r.word();
        t.font = r.text();
    }
    for (WORD i = 0; i < count; ++i) {
        r.alignDword();
        ItemTemplate item{};
        item.style = r.dword();
        r.dword();
        item.x = r.shortValue(); item.y = r.shortValue(); item.cx = r.shortValue(); item.cy = r.shortValue();
        item.id = r.word();
        item.className = r.nameOrOrdinal();
        item.text = r.text();
        WORD extra = r.word();
        for (WORD b = 0; b < extra; b += 2)
            r.word();
        t.items.push_back(item);
    }
    return t;
}

}  // namespace

TEST(ResourceTest, FileLoaderTemplateIsExactlyAsDesigned)
{
    DialogTemplate t = loadTemplate(IDD_FILE_LOADER);
    EXPECT_EQ(0x90CC0044u, t.style);
    EXPECT_EQ(0u, t.exStyle);
    EXPECT_EQ(57, t.x); EXPECT_EQ(5, t.y); EXPECT_EQ(192, t.cx); EXPECT_EQ(153, t.cy);
    EXPECT_EQ("Vog File Loader", t.caption);
    EXPECT_EQ("MS Sans Serif", t.font);
    EXPECT_EQ(8, t.pointSize);
    ASSERT_EQ(4u, t.items.size());

    struct Expected { WORD id; const char* cls; DWORD style; short x, y, cx, cy; const char* text; };
    const Expected expected[] = {
        {101, "static", 0x50000000, 2, 2, 188, 34,
         "File ... (theme ...) not found. Add browsing folder to the theme or insert removable media."},
        {102, "listbox", 0x50B10003, 2, 40, 128, 115, ""},
        {103, "button", 0x50010300, 136, 42, 50, 14, "Add..."},
        {104, "button", 0x58010300, 136, 62, 50, 14, "Remove"},
    };
    for (size_t i = 0; i < 4; ++i) {
        const ItemTemplate& item = t.items[i];
        SCOPED_TRACE("control " + std::to_string(expected[i].id));
        EXPECT_EQ(expected[i].id, item.id);
        EXPECT_EQ(expected[i].cls, item.className);
        EXPECT_EQ(expected[i].style, item.style) << std::hex << item.style;
        EXPECT_EQ(expected[i].x, item.x); EXPECT_EQ(expected[i].y, item.y);
        EXPECT_EQ(expected[i].cx, item.cx); EXPECT_EQ(expected[i].cy, item.cy);
        EXPECT_EQ(expected[i].text, item.text);
    }
}

TEST(ResourceTest, IconHasBothSizes)
{
    for (int size : {32, 16}) {
        HICON icon = static_cast<HICON>(LoadImageA(testInstance(), MAKEINTRESOURCEA(IDI_VOG), IMAGE_ICON, size, size, 0));
        ASSERT_NE(nullptr, icon) << size;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap{};
        GetObjectA(info.hbmMask, sizeof bitmap, &bitmap);
        EXPECT_EQ(size, bitmap.bmWidth);
        DeleteObject(info.hbmMask);
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
        DestroyIcon(icon);
    }
}
