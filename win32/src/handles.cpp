#include "handles.h"

#include "slot_table.h"

#include <mutex>

namespace w95 {
namespace {

// A handle is ((generation << 14) | slot) << 2: a multiple of four, as on Windows, below
// 0x80000000 so it never meets the predefined registry roots, and never 0 (slot 0 is unused).
constexpr uint32_t kSlotBits = 14;
constexpr uint32_t kMaxSlots = 1u << kSlotBits;
constexpr uint32_t kMaxGeneration = 0x7FFF;

struct Table {
    std::mutex mutex;
    SlotTable<KernelObject> slots{kMaxSlots, kMaxGeneration};
};

Table& TheTable() {
    static Table* table = new Table;  // never destroyed: threads may close handles at exit
    return *table;
}

HANDLE Encode(SlotTable<KernelObject>::Ref ref) {
    return reinterpret_cast<HANDLE>(
        static_cast<uintptr_t>(((ref.generation << kSlotBits) | ref.slot) << 2));
}

std::optional<SlotTable<KernelObject>::Ref> Decode(HANDLE handle) {
    auto value = reinterpret_cast<uintptr_t>(handle);
    if (value == 0 || (value & 3) != 0 || value >= 0x80000000u)
        return std::nullopt;
    value >>= 2;
    return SlotTable<KernelObject>::Ref{static_cast<uint32_t>(value & (kMaxSlots - 1)),
                                        static_cast<uint32_t>(value >> kSlotBits)};
}

}  // namespace

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
    auto& table = TheTable();
    std::lock_guard lock(table.mutex);
    auto ref = table.slots.Add(std::move(object));
    if (!ref) {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return nullptr;
    }
    return Encode(*ref);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    auto ref = Decode(handle);
    if (!ref)
        return nullptr;
    auto& table = TheTable();
    std::lock_guard lock(table.mutex);
    return table.slots.Find(*ref);
}

bool CloseKernelHandle(HANDLE handle) {
    std::shared_ptr<KernelObject> object;
    if (auto ref = Decode(handle)) {
        auto& table = TheTable();
        std::lock_guard lock(table.mutex);
        object = table.slots.Remove(*ref);
    }
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    object->OnClose();
    return true;
}

}  // namespace w95
