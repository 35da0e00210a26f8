// Shared by the container, archive and zephpack tests: whole-file reads and writes, and
// archive and container bytes built by hand from their layouts.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/test_folder.h"

namespace ContainerTest {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;
using orvik_test::ReadBytes;
using orvik_test::ReadFile;
using orvik_test::TestFolder;
using orvik_test::WriteBytes;
using orvik_test::WriteFile;

[[nodiscard]] inline Bytes PatternBytes(size_t size, uint32_t seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245 + 12345;
        bytes[i] = static_cast<uint8_t>((i % 7 == 0) ? (seed >> 16) : i / 64);
    }
    return bytes;
}

inline void PutLe(Bytes& bytes, uint64_t value, int count) {
    for (int i = 0; i < count; ++i, value >>= 8)
        bytes.push_back(static_cast<uint8_t>(value));
}

inline void SetLe(Bytes& bytes, size_t at, uint64_t value, int count) {
    for (int i = 0; i < count; ++i, value >>= 8)
        bytes[at + i] = static_cast<uint8_t>(value);
}

// The framework's block sequence of `content`, cut into blocks of `blockSize` bytes.
[[nodiscard]] inline Bytes BlockSequence(const Bytes& content, size_t blockSize = SIZE_MAX) {
    Bytes out;
    size_t blocks =
        content.empty() ? 0 : (content.size() - 1) / std::min(blockSize, content.size()) + 1;
    PutLe(out, blocks, 4);
    for (size_t start = 0; start < content.size(); start += blockSize) {
        const size_t length = std::min(blockSize, content.size() - start);
        uLongf packedLength = compressBound(length);
        Bytes packed(packedLength);
        EXPECT_EQ(compress(packed.data(), &packedLength, content.data() + start, length), Z_OK);
        PutLe(out, packedLength, 4);
        PutLe(out, length, 4);
        out.insert(out.end(), packed.begin(), packed.begin() + packedLength);
    }
    return out;
}

// Archive bytes record by record; names are taken as ASCII and widened to UTF-16LE.
class ArchiveBytes {
public:
    explicit ArchiveBytes(uint32_t version) : m_version(version) { PutLe(m_bytes, version, 4); }

    ArchiveBytes& Folder(const std::string& name) { return Record(name, 0); }
    ArchiveBytes& File(const std::string& name, const Bytes& content) {
        Record(name, 1);
        return Raw(BlockSequence(content));
    }
    ArchiveBytes& Record(const std::string& name, uint8_t kind) {
        Bytes header;
        PutLe(header, name.size(), 4);
        for (char c : name)
            PutLe(header, static_cast<uint8_t>(c), 2);
        if (m_version == 2)
            header.push_back(kind);
        return Raw(BlockSequence(header));
    }
    ArchiveBytes& Raw(const Bytes& bytes) {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }
    [[nodiscard]] const Bytes& Get() const { return m_bytes; }

private:
    uint32_t m_version;
    Bytes m_bytes;
};

struct PatchRecord {
    std::string from;
    std::string to;
    Bytes archive;
};

// An executable of `prefixSize` bytes with a container at `headerOffset` holding the patches.
[[nodiscard]] inline Bytes ContainerFile(size_t prefixSize, uint64_t headerOffset,
                                         const std::vector<PatchRecord>& patches) {
    Bytes file = PatternBytes(prefixSize, 7);
    file.resize(headerOffset, 0);
    const char magic[] = "Z0e1p2h3";
    file.insert(file.end(), magic, magic + 8);
    const size_t totalAt = file.size();
    PutLe(file, 0, 4);
    PutLe(file, patches.size(), 4);
    const size_t directoryAt = file.size();
    PutLe(file, 0, 8);
    PutLe(file, 0, 4);
    std::vector<uint64_t> offsets;
    for (const auto& patch : patches) {
        offsets.push_back(file.size());
        file.insert(file.end(), patch.archive.begin(), patch.archive.end());
    }
    SetLe(file, directoryAt, file.size(), 8);
    for (size_t i = 0; i < patches.size(); ++i) {
        Bytes entry(64, 0);
        std::copy(patches[i].from.begin(), patches[i].from.end(), entry.begin());
        std::copy(patches[i].to.begin(), patches[i].to.end(), entry.begin() + 32);
        PutLe(entry, offsets[i], 8);
        PutLe(entry, patches[i].archive.size(), 8);
        file.insert(file.end(), entry.begin(), entry.end());
    }
    SetLe(file, totalAt, file.size(), 4);
    return file;
}

}  // namespace ContainerTest
