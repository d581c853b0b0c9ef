// The resource layer against the .res that the build compiles from tvxmcfg's resource script,
// and against hand-made images for the formats windres does not write here.
#include "resources.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Little-endian image builder for hand-made resources and templates.
struct Bytes {
    std::vector<uint8_t> data;
    Bytes& Word(uint16_t value) {
        data.push_back(static_cast<uint8_t>(value));
        data.push_back(static_cast<uint8_t>(value >> 8));
        return *this;
    }
    Bytes& Dword(uint32_t value) { return Word(static_cast<uint16_t>(value)).Word(value >> 16); }
    Bytes& Wide(const std::string& text) {
        for (char c : text)
            Word(static_cast<uint8_t>(c));
        return Word(0);
    }
    Bytes& Align() {
        while (data.size() % 4)
            data.push_back(0);
        return *this;
    }
};

// One .res entry with an ordinal type and a string name.
void AddEntry(Bytes& image, uint16_t type, const std::string& name,
              const std::vector<uint8_t>& payload) {
    Bytes header;
    header.Word(0xFFFF).Word(type).Wide(name).Align();
    header.Dword(0).Word(0x1030).Word(0x0409).Dword(0).Dword(0);
    image.Dword(static_cast<uint32_t>(payload.size()))
        .Dword(static_cast<uint32_t>(header.data.size() + 8));
    image.data.insert(image.data.end(), header.data.begin(), header.data.end());
    image.data.insert(image.data.end(), payload.begin(), payload.end());
    image.Align();
}

class TvxmcfgResources : public ::testing::Test {
  protected:
    void SetUp() override {
        bytes_ = ReadBytes(TARVEX_BUILD_DIR "/tvxmcfg/tvxmcfg.res");
        ASSERT_FALSE(bytes_.empty()) << "the build compiles tvxmcfg.res";
        table_ = w95::ResourceTable(bytes_.data(), bytes_.size());
    }
    std::vector<uint8_t> bytes_;
    w95::ResourceTable table_;
};

struct ExpectedControl {
    DWORD id;
    const char* class_name;
    const char* text;
    DWORD style;  // besides WS_CHILD | WS_VISIBLE
    short x, y, cx, cy;
};

TEST_F(TvxmcfgResources, DialogTemplateMatchesTheConfigurationDialogControlByControl) {
    const w95::Resource* resource =
        table_.Find(w95::ResourceId::Ordinal(5), w95::ResourceId::FromApi("TarvexModem"));
    ASSERT_NE(resource, nullptr);
    w95::DialogTemplate dialog = w95::ParseDialogTemplate(resource->data, resource->size);

    EXPECT_FALSE(dialog.extended);
    EXPECT_EQ(dialog.style, DWORD(WS_CHILD | WS_VISIBLE | DS_SETFONT | DS_ABSALIGN));
    EXPECT_EQ(dialog.ex_style, 0u);
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.cx, 210);
    EXPECT_EQ(dialog.cy, 100);
    EXPECT_FALSE(dialog.has_menu);
    EXPECT_EQ(dialog.class_name, "");
    EXPECT_EQ(dialog.caption, "");
    EXPECT_EQ(dialog.point_size, 8);
    EXPECT_EQ(dialog.font, "MS Sans Serif");

    const ExpectedControl expected[] = {
        {0xFFFF, "BUTTON", "TarvexModem boards installed:", BS_GROUPBOX, 0, 3, 133, 50},
        {501, "BUTTON", "Board &1 : ", BS_AUTOCHECKBOX | BS_LEFTTEXT | WS_TABSTOP, 12, 20, 44, 8},
        {502, "BUTTON", "Board &2 : ", BS_AUTOCHECKBOX | BS_LEFTTEXT | WS_TABSTOP, 12, 38, 44, 8},
        {503, "BUTTON", "Board &3 : ", BS_AUTOCHECKBOX | BS_LEFTTEXT | WS_TABSTOP, 68, 20, 44, 8},
        {504, "BUTTON", "Board &4 : ", BS_AUTOCHECKBOX | BS_LEFTTEXT | WS_TABSTOP, 68, 38, 44, 8},
        {0xFFFF, "STATIC", "Country &select:", SS_RIGHT | WS_GROUP, 5, 64, 48, 8},
        {400, "COMBOBOX", "", CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, 58, 61, 77, 60},
        {301, "BUTTON", "&OK", BS_PUSHBUTTON | WS_TABSTOP, 141, 8, 50, 14},
        {300, "BUTTON", "&Cancel", BS_PUSHBUTTON | WS_TABSTOP, 141, 25, 50, 14},
        {302, "BUTTON", "&Help", BS_PUSHBUTTON | WS_TABSTOP, 141, 42, 50, 14},
        {303, "BUTTON", "&Defaults", BS_PUSHBUTTON | WS_TABSTOP, 141, 59, 50, 14},
    };
    ASSERT_EQ(dialog.items.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE("control " + std::to_string(i + 1) + ", id " + std::to_string(expected[i].id));
        const w95::DialogItem& item = dialog.items[i];
        EXPECT_EQ(item.id, expected[i].id);
        EXPECT_EQ(item.class_name, expected[i].class_name);
        EXPECT_FALSE(item.text_is_ordinal);
        EXPECT_EQ(item.text, expected[i].text);
        EXPECT_EQ(item.style, DWORD(WS_CHILD | WS_VISIBLE | expected[i].style));
        EXPECT_EQ(item.ex_style, 0u);
        EXPECT_EQ(item.x, expected[i].x);
        EXPECT_EQ(item.y, expected[i].y);
        EXPECT_EQ(item.cx, expected[i].cx);
        EXPECT_EQ(item.cy, expected[i].cy);
        EXPECT_TRUE(item.creation_data.empty());
    }
}

TEST_F(TvxmcfgResources, MainIconIsOneImageOf32By32In16Colours) {
    const w95::Resource* group =
        table_.Find(w95::ResourceId::Ordinal(14), w95::ResourceId::FromApi("mainicon"));
    ASSERT_NE(group, nullptr) << "names are found whatever their case";
    auto images = w95::ParseIconGroup(group->data, group->size);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].width, 32);
    EXPECT_EQ(images[0].height, 32);
    EXPECT_EQ(images[0].colors, 16);
    EXPECT_EQ(images[0].bits_per_pixel, 4);
    const w95::Resource* image =
        table_.Find(w95::ResourceId::Ordinal(3), w95::ResourceId::Ordinal(images[0].icon_id));
    ASSERT_NE(image, nullptr);
    // A DIB header of 40 bytes, 32 wide, twice 32 high (image and mask), 4 bits per pixel.
    ASSERT_GE(image->size, 40u);
    EXPECT_EQ(image->data[0], 40);
    EXPECT_EQ(image->data[4], 32);
    EXPECT_EQ(image->data[8], 64);
    EXPECT_EQ(image->data[14], 4);
}

TEST_F(TvxmcfgResources, VersionBlockIsKeptAndEntriesComeInTypeOrder) {
    EXPECT_NE(table_.Find(w95::ResourceId::Ordinal(16), w95::ResourceId::Ordinal(1)), nullptr);
    uint16_t previous = 0;
    for (const auto& entry : table_.entries()) {
        ASSERT_TRUE(entry.type.is_ordinal);
        EXPECT_GE(entry.type.ordinal, previous);
        previous = entry.type.ordinal;
    }
}

TEST(ResourceIds, ApiFormsOfNamesAndOrdinals) {
    EXPECT_TRUE(w95::ResourceId::FromApi(MAKEINTRESOURCEA(101)) == w95::ResourceId::Ordinal(101));
    EXPECT_TRUE(w95::ResourceId::FromApi("#101") == w95::ResourceId::Ordinal(101));
    EXPECT_TRUE(w95::ResourceId::FromApi("MainIcon") == w95::ResourceId::Name("MAINICON"));
    EXPECT_FALSE(w95::ResourceId::FromApi("101") == w95::ResourceId::Ordinal(101));
    EXPECT_FALSE(w95::ResourceId::FromApi("#1x") == w95::ResourceId::Ordinal(1));
    EXPECT_FALSE(w95::ResourceId::FromApi("#70000").is_ordinal);
}

TEST(ResourceImages, HandMadeImageIsFoundByTypeAndName) {
    Bytes image;
    AddEntry(image, 0, "", {});  // the format's empty first entry
    AddEntry(image, 10, "DATA", {1, 2, 3});
    AddEntry(image, 10, "MORE", {4, 5, 6, 7, 8});
    w95::ResourceTable table(image.data.data(), image.data.size());
    ASSERT_EQ(table.entries().size(), 2u);
    const w95::Resource* more =
        table.Find(w95::ResourceId::Ordinal(10), w95::ResourceId::Name("more"));
    ASSERT_NE(more, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(more->data, more->data + more->size),
              (std::vector<uint8_t>{4, 5, 6, 7, 8}));
    EXPECT_EQ(more->language, 0x0409);
    EXPECT_EQ(table.Find(w95::ResourceId::Ordinal(5), w95::ResourceId::Name("MORE")), nullptr);
}

TEST(ResourceImages, DamagedImagesAreRefused) {
    Bytes good;
    AddEntry(good, 10, "DATA", {1, 2, 3, 4, 5, 6, 7, 8});
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    cases.push_back(
        {"cut inside the data", std::vector<uint8_t>(good.data.begin(), good.data.end() - 3)});
    cases.push_back(
        {"cut inside the header", std::vector<uint8_t>(good.data.begin(), good.data.begin() + 12)});
    Bytes bad_header = good;
    bad_header.data[4] = 8;  // a header size smaller than the header
    cases.push_back({"header size too small", bad_header.data});
    Bytes huge_data = good;
    huge_data.data[3] = 0x7F;  // a data size far beyond the image
    cases.push_back({"data size beyond the end", huge_data.data});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(w95::ResourceTable(c.bytes.data(), c.bytes.size()), w95::ResourceFormatError);
    }
}

TEST(DialogTemplates, ExtendedTemplateWithAtomsOrdinalTextAndCreationData) {
    Bytes t;
    t.Word(1).Word(0xFFFF).Dword(0).Dword(WS_EX_CONTROLPARENT);
    t.Dword(WS_POPUP | WS_CAPTION | DS_SETFONT).Word(2);
    t.Word(10).Word(20).Word(100).Word(50);
    t.Word(0xFFFF).Word(102);  // menu 102
    t.Word(0);                 // dialog class
    t.Wide("Caption");
    t.Word(9).Word(400).Word(0).Wide("Arial");
    // An EDIT by atom with text and two bytes of creation data.
    t.Align().Dword(7).Dword(0).Dword(WS_CHILD | ES_LEFT).Word(1).Word(2).Word(3).Word(4);
    t.Dword(70000).Word(0xFFFF).Word(0x81).Wide("typed").Word(2).Word(0xBEEF);
    // A STATIC icon: text given as an ordinal.
    t.Align().Dword(0).Dword(0).Dword(WS_CHILD | SS_ICON).Word(5).Word(6).Word(7).Word(8);
    t.Dword(9).Word(0xFFFF).Word(0x82).Word(0xFFFF).Word(3).Word(0);

    w95::DialogTemplate dialog = w95::ParseDialogTemplate(t.data.data(), t.data.size());
    EXPECT_TRUE(dialog.extended);
    EXPECT_EQ(dialog.ex_style, DWORD(WS_EX_CONTROLPARENT));
    EXPECT_TRUE(dialog.has_menu);
    EXPECT_TRUE(dialog.menu == w95::ResourceId::Ordinal(102));
    EXPECT_EQ(dialog.caption, "Caption");
    EXPECT_EQ(dialog.point_size, 9);
    EXPECT_EQ(dialog.font, "Arial");
    ASSERT_EQ(dialog.items.size(), 2u);
    EXPECT_EQ(dialog.items[0].class_name, "EDIT");
    EXPECT_EQ(dialog.items[0].id, 70000u);
    EXPECT_EQ(dialog.items[0].text, "typed");
    EXPECT_EQ(dialog.items[0].creation_data, (std::vector<uint8_t>{0xEF, 0xBE}));
    EXPECT_EQ(dialog.items[1].class_name, "STATIC");
    EXPECT_TRUE(dialog.items[1].text_is_ordinal);
    EXPECT_EQ(dialog.items[1].text_ordinal, 3);

    // The same template cut anywhere inside a control is refused, never read past its end.
    for (size_t cut : {t.data.size() - 1, t.data.size() - 12, size_t{40}}) {
        SCOPED_TRACE(cut);
        EXPECT_THROW(w95::ParseDialogTemplate(t.data.data(), cut), w95::ResourceFormatError);
    }
}

TEST(DialogTemplates, UnknownClassAtomIsRefused) {
    Bytes t;
    t.Dword(WS_POPUP).Dword(0).Word(1).Word(0).Word(0).Word(10).Word(10);
    t.Word(0).Word(0).Word(0);
    t.Align().Dword(WS_CHILD).Dword(0).Word(0).Word(0).Word(5).Word(5).Word(1);
    t.Word(0xFFFF).Word(0x90).Word(0).Word(0);
    EXPECT_THROW(w95::ParseDialogTemplate(t.data.data(), t.data.size()), w95::ResourceFormatError);
}

}  // namespace
