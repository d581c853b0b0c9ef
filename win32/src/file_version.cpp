// Version information: GetFileVersionInfoSizeA and GetFileVersionInfoA hand out the embedded
// RT_VERSION block of the running program (other files carry none in this machine);
// VerQueryValueA walks the block. The block is kept as compiled, with UTF-16 keys and texts; as
// on Windows, the ANSI form of a text value is written into a second area of the caller's copy,
// which is why the size asked for is larger than the resource.
#include "handles.h"
#include "module.h"
#include "paths.h"
#include "resources.h"

#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

namespace w95 {

namespace {

constexpr uint16_t kTextValue = 1;

size_t AlignUp(size_t value) {
    return (value + 3) & ~size_t{3};
}

const Resource* ProgramVersionResource() {
    for (const auto& entry : ProgramResources().entries()) {
        if (entry.type.is_ordinal && entry.type.ordinal == 16)
            return &entry;
    }
    return nullptr;
}

// The block of FILE when it is the running program and the program has one; sets the error.
const Resource* VersionResourceOf(LPCSTR file) {
    if (!file)
        return Fail(ERROR_INVALID_PARAMETER, nullptr);
    HostPath host = ToHostPath(file);
    std::error_code error;
    if (host.error != ERROR_SUCCESS || !std::filesystem::is_regular_file(host.path, error))
        return Fail(ERROR_FILE_NOT_FOUND, nullptr);
    const Resource* resource = ProgramVersionResource();
    if (!std::filesystem::equivalent(host.path, ProgramFile(), error) || !resource ||
        resource->size < 6)
        return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, nullptr);
    return resource;
}

// Size of the copy: the block, aligned, then room for the ANSI texts.
size_t CopySize(size_t block_size) {
    return AlignUp(block_size) + block_size;
}

uint16_t WordAt(const uint8_t* block, size_t offset) {
    return static_cast<uint16_t>(block[offset] | (block[offset + 1] << 8));
}

struct Node {
    size_t start = 0;
    size_t end = 0;  // start + wLength, within the block
    uint16_t value_length = 0;
    uint16_t type = 0;
    std::string key;
    size_t value = 0;     // offset of the value
    size_t children = 0;  // offset of the first child
};

// Reads the node at START that must end by LIMIT; false when it is malformed.
bool ReadNode(const uint8_t* block, size_t start, size_t limit, Node& node) {
    if (limit < start || limit - start < 6)
        return false;
    uint16_t length = WordAt(block, start);
    if (length < 6 || length > limit - start)
        return false;
    node.start = start;
    node.end = start + length;
    node.value_length = WordAt(block, start + 2);
    node.type = WordAt(block, start + 4);
    node.key.clear();
    size_t offset = start + 6;
    for (;;) {
        if (offset + 2 > node.end)
            return false;
        uint16_t c = WordAt(block, offset);
        offset += 2;
        if (c == 0)
            break;
        node.key += c < 0x100 ? static_cast<char>(c) : '?';
    }
    node.value = AlignUp(offset);
    size_t value_bytes = node.type == kTextValue ? node.value_length * 2u : node.value_length;
    if (node.value > node.end || value_bytes > node.end - node.value)
        return false;
    node.children = AlignUp(node.value + value_bytes);
    return true;
}

std::vector<std::string> PathParts(const char* path) {
    std::vector<std::string> parts;
    std::string part;
    for (const char* p = path;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
            if (*p == '\0')
                break;
        } else {
            part += *p;
        }
    }
    return parts;
}

}  // namespace

}  // namespace w95

extern "C" DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
    if (lpdwHandle)
        *lpdwHandle = 0;
    const w95::Resource* resource = w95::VersionResourceOf(lptstrFilename);
    return resource ? static_cast<DWORD>(w95::CopySize(resource->size)) : 0;
}

extern "C" BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD, DWORD dwLen,
                                           LPVOID lpData) {
    const w95::Resource* resource = w95::VersionResourceOf(lptstrFilename);
    if (!resource)
        return FALSE;
    if (!lpData)
        return w95::Fail(ERROR_INVALID_PARAMETER, FALSE);
    // A copy that cannot hold the texts' ANSI area would let VerQueryValueA write past it.
    if (dwLen < w95::CopySize(resource->size))
        return w95::Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    auto* out = static_cast<uint8_t*>(lpData);
    std::memset(out, 0, w95::CopySize(resource->size));
    std::memcpy(out, resource->data, resource->size);
    // The root's length says where the block ends; it must not claim more than the resource.
    if (w95::WordAt(out, 0) > resource->size) {
        out[0] = static_cast<uint8_t>(resource->size & 0xFF);
        out[1] = static_cast<uint8_t>(resource->size >> 8);
    }
    return TRUE;
}

extern "C" BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer,
                                      UINT* puLen) {
    if (lplpBuffer)
        *lplpBuffer = nullptr;
    if (puLen)
        *puLen = 0;
    if (!pBlock || !lpSubBlock || !lplpBuffer || !puLen)
        return w95::Fail(ERROR_INVALID_PARAMETER, FALSE);
    auto* block = static_cast<uint8_t*>(const_cast<void*>(pBlock));
    size_t block_size = w95::WordAt(block, 0);
    w95::Node node;
    if (!w95::ReadNode(block, 0, block_size, node))
        return w95::Fail(ERROR_RESOURCE_DATA_NOT_FOUND, FALSE);
    for (const std::string& part : w95::PathParts(lpSubBlock)) {
        w95::Node child;
        bool found = false;
        for (size_t offset = node.children; offset < node.end; offset = w95::AlignUp(child.end)) {
            if (!w95::ReadNode(block, offset, node.end, child))
                break;
            if (strcasecmp(child.key.c_str(), part.c_str()) == 0) {
                found = true;
                break;
            }
        }
        if (!found)
            return w95::Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, FALSE);
        node = child;
    }
    if (node.type != w95::kTextValue) {
        *lplpBuffer = block + node.value;
        *puLen = node.value_length;
        return TRUE;
    }
    // The ANSI text goes to the second area, at half the wide text's offset: texts never share
    // bytes there, as they do not in the block.
    char* text = reinterpret_cast<char*>(block + w95::AlignUp(block_size) + node.value / 2);
    size_t count = 0;
    for (; count < node.value_length; ++count) {
        uint16_t c = w95::WordAt(block, node.value + count * 2);
        if (c == 0)
            break;
        text[count] = c < 0x100 ? static_cast<char>(c) : '?';
    }
    text[count] = '\0';
    *lplpBuffer = text;
    *puLen = static_cast<UINT>(count + 1);
    return TRUE;
}
