// A small open-addressing hash table (linear probing) for the readers' lookups, so that a lookup
// costs the same however long the lists are. It stores a hash and a value per slot and owns no
// keys: the caller compares candidates itself (by a record's name, or by the pointer). A record
// about to be renamed is removed under its old name first, so no stale entries pile up on a
// probe path.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace scene {

// FNV-1a over the bytes of a zero-terminated name.
inline uint32_t kf_hash_name(const char* name) {
    uint32_t hash = 2166136261u;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p)
        hash = (hash ^ *p) * 16777619u;
    return hash;
}

// The high half of a 64-bit mix, so that nearby numbers and aligned pointers spread.
inline uint32_t kf_hash_number(uint64_t v) {
    v ^= v >> 33;
    v *= 0xFF51AFD7ED558CCDull;
    v ^= v >> 33;
    return static_cast<uint32_t>(v);
}

inline uint32_t kf_hash_pointer(const void* pointer) {
    return kf_hash_number(reinterpret_cast<uintptr_t>(pointer));
}

class HashIndex {
public:
    HashIndex() = default;
    HashIndex(const HashIndex&) = delete;
    HashIndex& operator=(const HashIndex&) = delete;
    ~HashIndex() { std::free(slots_); }

    // The first value stored with `hash` that `match` accepts; null when none does.
    template <typename Match>
    void* find(uint32_t hash, Match match) const {
        if (slots_ == nullptr) return nullptr;
        for (uint32_t i = hash & mask_;; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (slot.value == nullptr) return nullptr;
            if (slot.hash == hash && match(slot.value)) return slot.value;
        }
    }

    // The slot of the first value `find` would give, so that the caller can replace the value with
    // another of the same key; null when none.
    template <typename Match>
    void** find_slot(uint32_t hash, Match match) {
        if (slots_ == nullptr) return nullptr;
        for (uint32_t i = hash & mask_;; i = (i + 1) & mask_) {
            Slot& slot = slots_[i];
            if (slot.value == nullptr) return nullptr;
            if (slot.hash == hash && match(slot.value)) return &slot.value;
        }
    }

    // Stores a non-null value; false when out of memory.
    bool add(uint32_t hash, void* value) {
        // At most half full, so probes stay short and always end at an empty slot.
        if ((used_ + 1) * 2 > capacity() && !grow()) return false;
        place(hash, value);
        ++used_;
        return true;
    }

    // Removes `value` stored with `hash`, if it is there.
    void remove(uint32_t hash, const void* value) {
        if (slots_ == nullptr) return;
        uint32_t i = hash & mask_;
        while (slots_[i].value != value) {
            if (slots_[i].value == nullptr) return;
            i = (i + 1) & mask_;
        }
        // Shift later entries of the run back into the hole where their probe path passes it, so
        // that no probe stops early at it.
        for (uint32_t j = (i + 1) & mask_; slots_[j].value != nullptr; j = (j + 1) & mask_) {
            const uint32_t home = slots_[j].hash & mask_;
            const bool passes_hole = i <= j ? (home > i && home <= j) : (home > i || home <= j);
            if (passes_hole) continue;
            slots_[i] = slots_[j];
            i = j;
        }
        slots_[i] = {0, nullptr};
        --used_;
    }

private:
    struct Slot {
        uint32_t hash;
        void* value;  // null: empty
    };

    uint32_t capacity() const { return slots_ ? mask_ + 1 : 0; }

    void place(uint32_t hash, void* value) {
        uint32_t i = hash & mask_;
        while (slots_[i].value != nullptr) i = (i + 1) & mask_;
        slots_[i] = {hash, value};
    }

    bool grow() {
        const uint32_t old_capacity = capacity();
        const uint32_t new_capacity = old_capacity ? old_capacity * 2 : 64;
        if (new_capacity < old_capacity) return false;
        Slot* old = slots_;
        slots_ = static_cast<Slot*>(std::calloc(new_capacity, sizeof(Slot)));
        if (slots_ == nullptr) {
            slots_ = old;
            return false;
        }
        mask_ = new_capacity - 1;
        for (uint32_t i = 0; i < old_capacity; ++i)
            if (old[i].value != nullptr) place(old[i].hash, old[i].value);
        std::free(old);
        return true;
    }

    Slot* slots_ = nullptr;
    uint32_t mask_ = 0;
    uint32_t used_ = 0;
};

}  // namespace scene
