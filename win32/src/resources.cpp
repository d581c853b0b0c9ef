#include "resources.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

// The build embeds the program's compiled resources under these names; programs and tests that
// carry none leave them undefined, so they are weak here and read as an empty image.
extern "C" {
extern const unsigned char w95_resource_data[] __attribute__((weak));
extern const std::size_t w95_resource_size __attribute__((weak));
}

namespace w95 {

namespace {

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Reads little-endian fields from a bounded image; every read past the end throws.
class Reader {
  public:
    Reader(const uint8_t* data, size_t size, const char* what)
        : data_(data), size_(size), what_(what) {}

    size_t offset() const { return offset_; }
    size_t remaining() const { return size_ - offset_; }

    void Need(size_t count) const {
        if (count > size_ - offset_) {
            throw ResourceFormatError(std::string(what_) + " is cut short at byte " +
                                      std::to_string(offset_));
        }
    }
    uint8_t Byte() {
        Need(1);
        return data_[offset_++];
    }
    uint16_t Word() {
        Need(2);
        uint16_t value = static_cast<uint16_t>(data_[offset_] | (data_[offset_ + 1] << 8));
        offset_ += 2;
        return value;
    }
    uint32_t Dword() {
        uint32_t low = Word();
        return low | (static_cast<uint32_t>(Word()) << 16);
    }
    short Short() { return static_cast<short>(Word()); }
    const uint8_t* Bytes(size_t count) {
        Need(count);
        const uint8_t* start = data_ + offset_;
        offset_ += count;
        return start;
    }
    void Skip(size_t count) { Bytes(count); }
    void AlignTo(size_t alignment, size_t base = 0) {
        size_t relative = offset_ - base;
        size_t padding = (alignment - relative % alignment) % alignment;
        // Padding at the very end of an image may be left out.
        offset_ += std::min(padding, remaining());
    }

    // A NUL-terminated UTF-16 string, as ANSI text: characters beyond Latin-1 become '?'.
    std::string WideString() {
        std::string text;
        for (uint16_t c = Word(); c != 0; c = Word())
            text += c < 0x100 ? static_cast<char>(c) : '?';
        return text;
    }
    // A string or ordinal field: 0x0000 none, 0xFFFF followed by an ordinal, else a string.
    // Returns true and sets ORDINAL for an ordinal.
    bool StringOrOrdinal(std::string& text, uint16_t& ordinal, bool& present) {
        Need(2);
        uint16_t first = static_cast<uint16_t>(data_[offset_] | (data_[offset_ + 1] << 8));
        present = first != 0;
        if (first == 0xFFFF) {
            Word();
            ordinal = Word();
            return true;
        }
        text = WideString();
        return false;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
    const char* what_;
};

ResourceId ReadResourceId(Reader& reader) {
    std::string text;
    uint16_t ordinal = 0;
    bool present = false;
    if (reader.StringOrOrdinal(text, ordinal, present))
        return ResourceId::Ordinal(ordinal);
    return ResourceId::Name(text);
}

}  // namespace

ResourceId ResourceId::Ordinal(uint16_t value) {
    ResourceId id;
    id.is_ordinal = true;
    id.ordinal = value;
    return id;
}

ResourceId ResourceId::Name(const std::string& text) {
    ResourceId id;
    id.is_ordinal = false;
    id.name = Upper(text);
    return id;
}

ResourceId ResourceId::FromApi(LPCSTR id) {
    if (IS_INTRESOURCE(id))
        return Ordinal(static_cast<uint16_t>(reinterpret_cast<uintptr_t>(id)));
    if (id[0] == '#' && id[1] != '\0') {
        unsigned long value = 0;
        const char* p = id + 1;
        while (std::isdigit(static_cast<unsigned char>(*p)) && value <= 0xFFFF)
            value = value * 10 + static_cast<unsigned long>(*p++ - '0');
        if (*p == '\0' && value <= 0xFFFF)
            return Ordinal(static_cast<uint16_t>(value));
    }
    return Name(id);
}

bool ResourceId::operator==(const ResourceId& other) const {
    if (is_ordinal != other.is_ordinal)
        return false;
    return is_ordinal ? ordinal == other.ordinal : name == other.name;
}

std::string ResourceId::Describe() const {
    return is_ordinal ? "#" + std::to_string(ordinal) : name;
}

ResourceTable::ResourceTable(const uint8_t* data, size_t size) {
    Reader reader(data, size, "the resource image");
    while (reader.remaining() > 0) {
        size_t start = reader.offset();
        uint32_t data_size = reader.Dword();
        uint32_t header_size = reader.Dword();
        if (header_size < 16 || header_size > size - start) {
            throw ResourceFormatError("the resource image has a bad header size at byte " +
                                      std::to_string(start));
        }
        Resource entry;
        entry.type = ReadResourceId(reader);
        entry.name = ReadResourceId(reader);
        reader.AlignTo(4);
        reader.Dword();  // data version
        reader.Word();   // memory flags
        entry.language = reader.Word();
        if (reader.offset() > start + header_size) {
            throw ResourceFormatError("a resource header overruns its size at byte " +
                                      std::to_string(start));
        }
        reader.Skip(start + header_size - reader.offset());
        entry.data = reader.Bytes(data_size);
        entry.size = data_size;
        reader.AlignTo(4);
        // The image opens with an empty entry (type 0) that only marks the format.
        if (!(entry.type.is_ordinal && entry.type.ordinal == 0))
            entries_.push_back(entry);
    }
}

const Resource* ResourceTable::Find(const ResourceId& type, const ResourceId& name) const {
    for (const auto& entry : entries_) {
        if (entry.type == type && entry.name == name)
            return &entry;
    }
    return nullptr;
}

const ResourceTable& ProgramResources() {
    static std::once_flag once;
    static ResourceTable* table = nullptr;
    std::call_once(once, [] {
        const uint8_t* data = w95_resource_data;
        size_t size = data && &w95_resource_size ? w95_resource_size : 0;
        table = data && size ? new ResourceTable(data, size) : new ResourceTable();
    });
    return *table;
}

const Resource* FindProgramResource(LPCSTR type, LPCSTR name) {
    if (!type || !name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ResourceId type_id = ResourceId::FromApi(type);
    const Resource* found = ProgramResources().Find(type_id, ResourceId::FromApi(name));
    if (found)
        return found;
    const auto& entries = ProgramResources().entries();
    bool type_known = std::any_of(entries.begin(), entries.end(),
                                  [&](const Resource& entry) { return entry.type == type_id; });
    SetLastError(type_known ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

std::string ControlClassForAtom(uint16_t atom) {
    static const char* const kClasses[] = {"BUTTON",  "EDIT",      "STATIC",
                                           "LISTBOX", "SCROLLBAR", "COMBOBOX"};
    if (atom < 0x80 || atom > 0x85)
        return "";
    return kClasses[atom - 0x80];
}

DialogTemplate ParseDialogTemplate(const uint8_t* data, size_t size) {
    Reader reader(data, size, "the dialog template");
    DialogTemplate dialog;
    size_t count = 0;
    if (size >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF) {
        dialog.extended = true;
        reader.Skip(4);
        reader.Dword();  // help id
        dialog.ex_style = reader.Dword();
        dialog.style = reader.Dword();
    } else {
        dialog.style = reader.Dword();
        dialog.ex_style = reader.Dword();
    }
    count = reader.Word();
    dialog.x = reader.Short();
    dialog.y = reader.Short();
    dialog.cx = reader.Short();
    dialog.cy = reader.Short();

    std::string text;
    uint16_t ordinal = 0;
    bool present = false;
    if (reader.StringOrOrdinal(text, ordinal, present))
        dialog.menu = ResourceId::Ordinal(ordinal);
    else
        dialog.menu = ResourceId::Name(text);
    dialog.has_menu = present;
    if (reader.StringOrOrdinal(text, ordinal, present))
        dialog.class_name = ControlClassForAtom(ordinal);
    else
        dialog.class_name = Upper(text);
    dialog.caption = reader.WideString();
    if (dialog.style & DS_SETFONT) {
        dialog.point_size = reader.Word();
        if (dialog.extended)
            reader.Skip(4);  // weight, italic, character set
        dialog.font = reader.WideString();
    }

    for (size_t i = 0; i < count; ++i) {
        reader.AlignTo(4);
        DialogItem item;
        if (dialog.extended) {
            reader.Dword();  // help id
            item.ex_style = reader.Dword();
            item.style = reader.Dword();
        } else {
            item.style = reader.Dword();
            item.ex_style = reader.Dword();
        }
        item.x = reader.Short();
        item.y = reader.Short();
        item.cx = reader.Short();
        item.cy = reader.Short();
        item.id = dialog.extended ? reader.Dword() : reader.Word();
        if (reader.StringOrOrdinal(text, ordinal, present)) {
            item.class_name = ControlClassForAtom(ordinal);
            if (item.class_name.empty()) {
                throw ResourceFormatError("control " + std::to_string(i + 1) +
                                          " of the dialog template has the unknown class atom " +
                                          std::to_string(ordinal));
            }
        } else {
            item.class_name = Upper(text);
        }
        if (reader.StringOrOrdinal(text, ordinal, present)) {
            item.text_is_ordinal = true;
            item.text_ordinal = ordinal;
        } else {
            item.text = text;
        }
        uint16_t extra = reader.Word();
        if (extra) {
            // Standard templates count the size word itself; the extended form does not.
            size_t bytes = dialog.extended ? extra : extra - 2u;
            const uint8_t* start = reader.Bytes(bytes);
            item.creation_data.assign(start, start + bytes);
        }
        dialog.items.push_back(std::move(item));
    }
    return dialog;
}

std::vector<IconImage> ParseIconGroup(const uint8_t* data, size_t size) {
    Reader reader(data, size, "the icon group");
    reader.Word();  // reserved
    if (reader.Word() != 1)
        throw ResourceFormatError("the icon group is not of icons (type 1)");
    uint16_t count = reader.Word();
    std::vector<IconImage> images;
    for (uint16_t i = 0; i < count; ++i) {
        IconImage image;
        image.width = reader.Byte();
        image.height = reader.Byte();
        image.colors = reader.Byte();
        reader.Byte();  // reserved
        reader.Word();  // planes
        image.bits_per_pixel = reader.Word();
        reader.Dword();  // bytes in the resource
        image.icon_id = reader.Word();
        // A width or height of 0 stands for 256 pixels.
        if (image.width == 0)
            image.width = 256;
        if (image.height == 0)
            image.height = 256;
        images.push_back(image);
    }
    return images;
}

}  // namespace w95
