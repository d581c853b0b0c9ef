// Virtual memory: regions reserved on 64 KiB boundaries, committed in pages that read as zero.
#include "handles.h"

#include <sys/mman.h>

#include <map>
#include <mutex>

namespace w95 {
namespace {

constexpr uintptr_t kPageSize = 4096;
constexpr uintptr_t kAllocationGranularity = 64 * 1024;
constexpr SIZE_T kLargestRegion = 0x80000000u;  // the whole user address space of Windows 95

uintptr_t RoundDown(uintptr_t value, uintptr_t unit) {
    return value / unit * unit;
}
uintptr_t RoundUp(uintptr_t value, uintptr_t unit) {
    return RoundDown(value + unit - 1, unit);
}

// The regions VirtualAlloc has reserved: base address to size.
struct Regions {
    std::mutex mutex;
    std::map<uintptr_t, uintptr_t> sizes;
};

Regions& TheRegions() {
    static Regions* regions = new Regions;  // never destroyed: memory may be freed at exit
    return *regions;
}

// The region that holds [start, end), or sizes.end().
std::map<uintptr_t, uintptr_t>::iterator FindRegion(Regions& regions, uintptr_t start,
                                                    uintptr_t end) {
    auto next = regions.sizes.upper_bound(start);
    if (next == regions.sizes.begin())
        return regions.sizes.end();
    auto region = std::prev(next);
    if (end > region->first + region->second)
        return regions.sizes.end();
    return region;
}

bool HostProtection(DWORD protect, int& host) {
    switch (protect) {
        case PAGE_NOACCESS:
            host = PROT_NONE;
            return true;
        case PAGE_READONLY:
            host = PROT_READ;
            return true;
        case PAGE_READWRITE:
            host = PROT_READ | PROT_WRITE;
            return true;
        default:
            return false;
    }
}

void* Reserve(uintptr_t size, int protection) {
    // Over-map by the granularity, then trim to an aligned region.
    uintptr_t mapped_size = size + kAllocationGranularity;
    void* mapped = ::mmap(nullptr, mapped_size, protection, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    auto start = reinterpret_cast<uintptr_t>(mapped);
    uintptr_t base = RoundUp(start, kAllocationGranularity);
    if (base > start)
        ::munmap(mapped, base - start);
    uintptr_t tail = start + mapped_size - (base + size);
    if (tail > 0)
        ::munmap(reinterpret_cast<void*>(base + size), tail);
    return reinterpret_cast<void*>(base);
}

void Decommit(uintptr_t start, uintptr_t size) {
    void* pages = reinterpret_cast<void*>(start);
    ::madvise(pages, size, MADV_DONTNEED);  // pages committed again read as zero
    ::mprotect(pages, size, PROT_NONE);
}

}  // namespace
}  // namespace w95

using w95::Fail;

extern "C" LPVOID WINAPI VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType,
                                      DWORD flProtect) {
    int protection = 0;
    const DWORD known_types = MEM_COMMIT | MEM_RESERVE;
    if (dwSize == 0 || !(flAllocationType & known_types) || (flAllocationType & ~known_types) ||
        !w95::HostProtection(flProtect, protection)) {
        return Fail(ERROR_INVALID_PARAMETER, LPVOID{nullptr});
    }
    if (dwSize > w95::kLargestRegion)
        return Fail(ERROR_NOT_ENOUGH_MEMORY, LPVOID{nullptr});
    auto& regions = w95::TheRegions();
    std::lock_guard lock(regions.mutex);
    if (!lpAddress) {
        uintptr_t size = w95::RoundUp(dwSize, w95::kPageSize);
        bool commit = flAllocationType & MEM_COMMIT;
        void* base = w95::Reserve(size, commit ? protection : PROT_NONE);
        if (!base)
            return Fail(ERROR_NOT_ENOUGH_MEMORY, LPVOID{nullptr});
        regions.sizes[reinterpret_cast<uintptr_t>(base)] = size;
        return base;
    }
    // Reserving at a chosen address is not emulated; committing pages of a reserved region is.
    if (flAllocationType & MEM_RESERVE)
        return Fail(ERROR_INVALID_ADDRESS, LPVOID{nullptr});
    auto requested = reinterpret_cast<uintptr_t>(lpAddress);
    uintptr_t start = w95::RoundDown(requested, w95::kPageSize);
    uintptr_t end = w95::RoundUp(requested + dwSize, w95::kPageSize);
    if (w95::FindRegion(regions, start, end) == regions.sizes.end()) {
        return Fail(ERROR_INVALID_ADDRESS, LPVOID{nullptr});
    }
    if (::mprotect(reinterpret_cast<void*>(start), end - start, protection) != 0) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, LPVOID{nullptr});
    }
    return reinterpret_cast<LPVOID>(start);
}

extern "C" BOOL WINAPI VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType) {
    auto& regions = w95::TheRegions();
    std::lock_guard lock(regions.mutex);
    auto address = reinterpret_cast<uintptr_t>(lpAddress);
    if (dwFreeType == MEM_RELEASE) {
        // Only a whole region goes back, named by its base and a size of 0.
        if (dwSize != 0)
            return Fail(ERROR_INVALID_PARAMETER, FALSE);
        auto region = regions.sizes.find(address);
        if (region == regions.sizes.end())
            return Fail(ERROR_INVALID_ADDRESS, FALSE);
        ::munmap(lpAddress, region->second);
        regions.sizes.erase(region);
        return TRUE;
    }
    if (dwFreeType == MEM_DECOMMIT) {
        if (dwSize == 0) {
            auto region = regions.sizes.find(address);
            if (region == regions.sizes.end())
                return Fail(ERROR_INVALID_ADDRESS, FALSE);
            w95::Decommit(address, region->second);
            return TRUE;
        }
        uintptr_t start = w95::RoundDown(address, w95::kPageSize);
        if (dwSize > w95::kLargestRegion)
            return Fail(ERROR_INVALID_ADDRESS, FALSE);
        uintptr_t end = w95::RoundUp(address + dwSize, w95::kPageSize);
        if (w95::FindRegion(regions, start, end) == regions.sizes.end()) {
            return Fail(ERROR_INVALID_ADDRESS, FALSE);
        }
        w95::Decommit(start, end - start);
        return TRUE;
    }
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
}
