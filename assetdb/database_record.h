// The coordination record that every process of the product using the asset database shares:
// 36 bytes, little-endian, the same layout whichever process wrote it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace ZephPatch {

static_assert(std::endian::native == std::endian::little, "the record is little-endian");

constexpr int32_t kNoProcess = -1;
constexpr int32_t kRecordVersion = 3;

struct DatabaseRecord {
    int32_t primaryProcess;    // process that maintains the record
    int32_t ownerProcess;      // process that currently owns the database
    int32_t requesterProcess;  // process waiting to become owner
    int32_t changeCount;       // kept by the record's users
    int32_t recordVersion;     // 0: attachments are not counted
    int8_t attachCount;        // -1 (255) when not counted
    uint8_t padding1[3];
    int32_t exclusiveProcess;  // 0 = none
    uint8_t admitRequesters;   // while exclusive, requesters may still attach
    uint8_t padding2[3];
    int32_t ownerData;  // published by the owner
};

static_assert(sizeof(DatabaseRecord) == 36);
static_assert(offsetof(DatabaseRecord, ownerProcess) == 4);
static_assert(offsetof(DatabaseRecord, requesterProcess) == 8);
static_assert(offsetof(DatabaseRecord, changeCount) == 12);
static_assert(offsetof(DatabaseRecord, recordVersion) == 16);
static_assert(offsetof(DatabaseRecord, attachCount) == 20);
static_assert(offsetof(DatabaseRecord, exclusiveProcess) == 24);
static_assert(offsetof(DatabaseRecord, admitRequesters) == 28);
static_assert(offsetof(DatabaseRecord, ownerData) == 32);

// The values a record is created with, `creator` being the creating process.
[[nodiscard]] inline DatabaseRecord NewDatabaseRecord(int32_t creator) {
    return DatabaseRecord{creator, kNoProcess, kNoProcess, 0, kRecordVersion, 1, {}, 0, 0, {}, 0};
}

// Fields are read outside the lock by some users (and by other processes at any time), so every
// access is a whole-field atomic one.
template <typename T>
[[nodiscard]] T LoadField(const T& field) {
    return __atomic_load_n(&field, __ATOMIC_ACQUIRE);
}
template <typename T>
void StoreField(T& field, std::type_identity_t<T> value) {
    __atomic_store_n(&field, value, __ATOMIC_RELEASE);
}

}  // namespace ZephPatch
