#include "handles.h"

#include <mutex>
#include <vector>

namespace w95 {
namespace {

// A handle is ((generation << 14) | slot) << 2: a multiple of four, as on Windows, below
// 0x80000000 so it never meets the predefined registry roots, and never 0 (slot 0 is unused).
constexpr uint32_t kSlotBits = 14;
constexpr uint32_t kMaxSlots = 1u << kSlotBits;
constexpr uint32_t kGenerationMask = 0x7FFF;

struct Slot {
    std::shared_ptr<KernelObject> object;
    uint32_t generation = 1;
};

struct Table {
    std::mutex mutex;
    std::vector<Slot> slots = std::vector<Slot>(1);
    std::vector<uint32_t> free_slots;
};

Table& TheTable() {
    static Table* table = new Table;  // never destroyed: threads may close handles at exit
    return *table;
}

HANDLE Encode(uint32_t slot, uint32_t generation) {
    return reinterpret_cast<HANDLE>(
        static_cast<uintptr_t>(((generation << kSlotBits) | slot) << 2));
}

bool Decode(HANDLE handle, uint32_t& slot, uint32_t& generation) {
    auto value = reinterpret_cast<uintptr_t>(handle);
    if (value == 0 || (value & 3) != 0 || value >= 0x80000000u)
        return false;
    value >>= 2;
    slot = static_cast<uint32_t>(value & (kMaxSlots - 1));
    generation = static_cast<uint32_t>(value >> kSlotBits);
    return slot != 0;
}

}  // namespace

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
    auto& table = TheTable();
    std::lock_guard lock(table.mutex);
    uint32_t slot;
    if (!table.free_slots.empty()) {
        slot = table.free_slots.back();
        table.free_slots.pop_back();
    } else {
        if (table.slots.size() >= kMaxSlots) {
            SetLastError(ERROR_TOO_MANY_OPEN_FILES);
            return nullptr;
        }
        slot = static_cast<uint32_t>(table.slots.size());
        table.slots.emplace_back();
    }
    table.slots[slot].object = std::move(object);
    return Encode(slot, table.slots[slot].generation);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    uint32_t slot, generation;
    if (!Decode(handle, slot, generation))
        return nullptr;
    auto& table = TheTable();
    std::lock_guard lock(table.mutex);
    if (slot >= table.slots.size())
        return nullptr;
    const Slot& entry = table.slots[slot];
    if (!entry.object || entry.generation != generation)
        return nullptr;
    return entry.object;
}

bool CloseKernelHandle(HANDLE handle) {
    uint32_t slot, generation;
    std::shared_ptr<KernelObject> object;
    if (Decode(handle, slot, generation)) {
        auto& table = TheTable();
        std::lock_guard lock(table.mutex);
        if (slot < table.slots.size() && table.slots[slot].object &&
            table.slots[slot].generation == generation) {
            object = std::move(table.slots[slot].object);
            table.slots[slot].generation = (generation % kGenerationMask) + 1;
            table.free_slots.push_back(slot);
        }
    }
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    object->OnClose();
    return true;
}

}  // namespace w95
