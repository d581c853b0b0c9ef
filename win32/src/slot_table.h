// Generational slots behind handles: each slot carries a generation count that changes when its
// object goes, so a closed or forged handle never reaches the object that reuses the slot. The
// owner encodes (slot, generation) into its own handle values and guards the table with its lock.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace w95 {

template <class T>
class SlotTable {
  public:
    struct Ref {
        uint32_t slot;
        uint32_t generation;
    };

    // Slots 1 to max_slots - 1 are handed out (slot 0 stays unused, so no handle is 0);
    // generations run from 1 to max_generation and start again.
    SlotTable(uint32_t max_slots, uint32_t max_generation)
        : max_slots_(max_slots), max_generation_(max_generation) {}

    // Enters the object; nullopt when every slot is taken.
    std::optional<Ref> Add(std::shared_ptr<T> object) {
        uint32_t slot;
        if (!free_slots_.empty()) {
            slot = free_slots_.back();
            free_slots_.pop_back();
        } else {
            if (slots_.size() >= max_slots_)
                return std::nullopt;
            slot = static_cast<uint32_t>(slots_.size());
            slots_.emplace_back();
        }
        slots_[slot].object = std::move(object);
        return Ref{slot, slots_[slot].generation};
    }

    // The object REF names, or nullptr when it is gone or REF is stale.
    std::shared_ptr<T> Find(Ref ref) const {
        if (ref.slot == 0 || ref.slot >= slots_.size())
            return nullptr;
        const Slot& entry = slots_[ref.slot];
        if (!entry.object || entry.generation != ref.generation)
            return nullptr;
        return entry.object;
    }

    // Takes the object out; nullptr when REF named nothing live.
    std::shared_ptr<T> Remove(Ref ref) {
        if (!Find(ref))
            return nullptr;
        Slot& entry = slots_[ref.slot];
        auto object = std::move(entry.object);
        entry.object.reset();
        entry.generation = (entry.generation % max_generation_) + 1;
        free_slots_.push_back(ref.slot);
        return object;
    }

    template <class F>
    void ForEach(F&& visit) const {
        for (const Slot& entry : slots_) {
            if (entry.object)
                visit(entry.object);
        }
    }

  private:
    struct Slot {
        std::shared_ptr<T> object;
        uint32_t generation = 1;
    };

    uint32_t max_slots_;
    uint32_t max_generation_;
    std::vector<Slot> slots_ = std::vector<Slot>(1);
    std::vector<uint32_t> free_slots_;
};

}  // namespace w95
