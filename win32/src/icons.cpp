// LoadIconA: the program's icon groups (RT_GROUP_ICON with their RT_ICON images) and the
// system's icons.
#include "icons.h"

#include "resources.h"

#include <functional>
#include <map>
#include <mutex>

namespace w95 {

namespace {

struct SharedIcons {
    std::mutex mutex;
    std::map<std::string, HANDLE> handles;  // by kind and name
};

SharedIcons& Shared() {
    static SharedIcons* shared = new SharedIcons;
    return *shared;
}

HANDLE SharedHandle(const std::string& key,
                    const std::function<std::shared_ptr<IconObject>()>& make) {
    auto& shared = Shared();
    std::lock_guard lock(shared.mutex);
    auto found = shared.handles.find(key);
    if (found != shared.handles.end() && LookupHandleAs<IconObject>(found->second))
        return found->second;
    auto object = make();
    if (!object)
        return nullptr;
    HANDLE handle = AddHandle(object);
    shared.handles[key] = handle;
    return handle;
}

struct SystemEntry {
    WORD id;
    const char* name;
};

constexpr SystemEntry kSystemCursors[] = {
    {32512, "arrow"},   {32513, "ibeam"}, {32514, "wait"},        {32515, "cross"},
    {32516, "uparrow"}, {32648, "no"},    {32650, "appstarting"},
};

constexpr SystemEntry kSystemIcons[] = {
    {32512, "application"}, {32513, "hand"},     {32514, "question"},
    {32515, "exclamation"}, {32516, "asterisk"}, {32517, "winlogo"},
};

template <size_t N>
const char* SystemName(const SystemEntry (&table)[N], WORD id) {
    for (const auto& entry : table) {
        if (entry.id == id)
            return entry.name;
    }
    return nullptr;
}

}  // namespace

HCURSOR SystemCursor(WORD id) {
    const char* name = SystemName(kSystemCursors, id);
    if (!name)
        return nullptr;
    return static_cast<HCURSOR>(SharedHandle(std::string("cursor:") + name, [&] {
        return std::make_shared<IconObject>(name, 32, 32, 2, 1, true);
    }));
}

HICON SystemIcon(WORD id) {
    const char* name = SystemName(kSystemIcons, id);
    if (!name)
        return nullptr;
    return static_cast<HICON>(SharedHandle(std::string("icon:") + name, [&] {
        return std::make_shared<IconObject>(name, 32, 32, 16, 4, false);
    }));
}

}  // namespace w95

extern "C" HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    if (!lpIconName)
        return w95::Fail(ERROR_INVALID_PARAMETER, HICON{nullptr});
    if (!hInstance) {
        HICON icon =
            IS_INTRESOURCE(lpIconName)
                ? w95::SystemIcon(static_cast<WORD>(reinterpret_cast<uintptr_t>(lpIconName)))
                : nullptr;
        return icon ? icon : w95::Fail(ERROR_RESOURCE_NAME_NOT_FOUND, HICON{nullptr});
    }
    const w95::Resource* group = w95::FindProgramResource(RT_GROUP_ICON, lpIconName);
    if (!group)
        return nullptr;
    std::vector<w95::IconImage> images;
    try {
        images = w95::ParseIconGroup(group->data, group->size);
    } catch (const w95::ResourceFormatError&) {
        return w95::Fail(ERROR_RESOURCE_DATA_NOT_FOUND, HICON{nullptr});
    }
    // The image for the standard icon size, else the group's first.
    const w95::IconImage* chosen = nullptr;
    for (const auto& image : images) {
        if (image.width == 32 && image.height == 32 && !chosen)
            chosen = &image;
    }
    if (!chosen && !images.empty())
        chosen = &images.front();
    if (!chosen || !w95::ProgramResources().Find(w95::ResourceId::FromApi(RT_ICON),
                                                 w95::ResourceId::Ordinal(chosen->icon_id))) {
        return w95::Fail(ERROR_RESOURCE_DATA_NOT_FOUND, HICON{nullptr});
    }
    std::string name = group->name.Describe();
    w95::IconImage image = *chosen;
    return static_cast<HICON>(w95::SharedHandle("resource:" + name, [&] {
        return std::make_shared<w95::IconObject>(name, image.width, image.height, image.colors,
                                                 image.bits_per_pixel, false);
    }));
}
