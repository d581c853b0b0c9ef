// The running program's resources: the standard .res image that the build compiles from the
// program's resource script and embeds in the executable, and the parsed forms of the resource
// types the window manager uses (dialog templates, icon groups).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace w95 {

// A resource type or name: an ordinal, or a string kept in upper case, as resource compilers
// store names and as the lookup compares them.
struct ResourceId {
    bool is_ordinal = true;
    uint16_t ordinal = 0;
    std::string name;

    static ResourceId Ordinal(uint16_t value);
    static ResourceId Name(const std::string& text);
    // From the LPCSTR of the API: MAKEINTRESOURCE ordinals, "#123" strings as ordinals, other
    // strings as names.
    static ResourceId FromApi(LPCSTR id);

    bool operator==(const ResourceId& other) const;
    std::string Describe() const;  // "#5" or "TARVEXMODEM", for messages
};

struct Resource {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// A resource image that cannot be parsed.
class ResourceFormatError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The entries of one .res image, in file order. The image is not copied: it must outlive the
// table (the embedded image lives as long as the program).
class ResourceTable {
  public:
    ResourceTable() = default;
    // Throws ResourceFormatError for an image that is cut short or malformed.
    ResourceTable(const uint8_t* data, size_t size);

    // The first entry of that type and name, whatever its language; nullptr when there is none.
    const Resource* Find(const ResourceId& type, const ResourceId& name) const;
    const std::vector<Resource>& entries() const { return entries_; }

  private:
    std::vector<Resource> entries_;
};

// The program's own resources (empty when the program embeds none). Parsed once.
const ResourceTable& ProgramResources();

// Finds a resource of the program for the API: sets ERROR_RESOURCE_TYPE_NOT_FOUND or
// ERROR_RESOURCE_NAME_NOT_FOUND and returns nullptr when it is missing.
const Resource* FindProgramResource(LPCSTR type, LPCSTR name);

// A control of a dialog template.
struct DialogItem {
    DWORD style = 0;
    DWORD ex_style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;            // 0xFFFF for the -1 of the resource script (templates keep 16 bits)
    std::string class_name;  // upper case; atoms 0x80-0x85 become BUTTON, EDIT, STATIC, ...
    std::string text;        // empty when the text is an ordinal (see text_ordinal)
    bool text_is_ordinal = false;
    uint16_t text_ordinal = 0;
    std::vector<uint8_t> creation_data;
};

// A dialog template, standard or extended.
struct DialogTemplate {
    bool extended = false;
    DWORD style = 0;
    DWORD ex_style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    ResourceId menu;  // ordinal 0 for none
    bool has_menu = false;
    std::string class_name;  // empty for the dialog class
    std::string caption;
    uint16_t point_size = 0;  // with DS_SETFONT
    std::string font;
    std::vector<DialogItem> items;
};

// Parses a DLGTEMPLATE (or DLGTEMPLATEEX) image of SIZE bytes; throws ResourceFormatError.
DialogTemplate ParseDialogTemplate(const uint8_t* data, size_t size);

// The class name of a predefined control class atom (0x80 BUTTON ... 0x85 COMBOBOX); empty for
// an unknown atom.
std::string ControlClassForAtom(uint16_t atom);

// One image of an icon group.
struct IconImage {
    int width = 0;
    int height = 0;
    int colors = 0;  // 0 for 256 colours or more
    int bits_per_pixel = 0;
    uint16_t icon_id = 0;  // the RT_ICON resource holding the image
};

// Parses an RT_GROUP_ICON image; throws ResourceFormatError.
std::vector<IconImage> ParseIconGroup(const uint8_t* data, size_t size);

}  // namespace w95
