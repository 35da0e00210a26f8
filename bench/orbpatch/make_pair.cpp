// Makes the file pairs of the orbpatch bench, the same bytes on every run:
//   make_pair asset SIZE OLD NEW   a game asset (textures, meshes, tables) and a copy with
//                                  about 1.5 % of it changed in scattered places: parts replaced,
//                                  inserted and removed, so that everything after them moves
//   make_pair text SIZE OLD NEW    text lines, and a copy with 3,000 lines edited, inserted
//                                  or removed and 20 blocks of lines moved elsewhere
//   make_pair edits SIZE OLD NEW   random bytes, and a copy with one edit per MiB (at least 1,
//                                  at most 200) overwritten in place, each 16 KiB or a hundredth
//                                  of the file if less; written as it is made, so it may exceed
//                                  memory. Prints the bytes edited.
//   make_pair sparse SIZE OLD NEW  a sparse file with 1 MiB of random bytes every 64 MiB, and a
//                                  copy edited as above, holes included
// SIZE is in bytes and may end in K, M or G.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ULL + 1) {}
    uint64_t Next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    uint64_t Below(uint64_t n) { return n == 0 ? 0 : Next() % n; }
    void Fill(uint8_t* out, size_t size) {
        for (size_t i = 0; i < size; i += 8) {
            uint64_t v = Next();
            std::memcpy(out + i, &v, std::min<size_t>(8, size - i));
        }
    }

private:
    uint64_t m_state;
};

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool WriteFile(const char* path, const Bytes& bytes) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = fd >= 0 && WriteAll(fd, bytes.data(), bytes.size());
    return fd >= 0 && close(fd) == 0 && ok;
}

// One part of an asset: block-compressed texture data (random), vertex arrays (floats along
// smooth curves) or a table of names and numbers.
void AppendAssetPart(Random& rng, size_t size, Bytes* out) {
    size_t start = out->size();
    out->resize(start + size);
    uint8_t* p = out->data() + start;
    switch (rng.Below(3)) {
        case 0:
            rng.Fill(p, size);
            break;
        case 1: {
            float x = static_cast<float>(rng.Below(1000)), step = 0.01f * (1 + rng.Below(50));
            for (size_t i = 0; i + 4 <= size; i += 4) {
                x += step * std::sin(static_cast<float>(i) * 0.001f);
                std::memcpy(p + i, &x, 4);
            }
            break;
        }
        default:
            for (size_t i = 0; i < size;) {
                char line[64];
                int n = std::snprintf(line, sizeof line, "mesh_%04u.lod%u %u %u\n",
                                      static_cast<unsigned>(rng.Below(5000)),
                                      static_cast<unsigned>(rng.Below(4)),
                                      static_cast<unsigned>(rng.Below(100000)),
                                      static_cast<unsigned>(rng.Below(256)));
                size_t take = std::min<size_t>(static_cast<size_t>(n), size - i);
                std::memcpy(p + i, line, take);
                i += take;
            }
    }
}

Bytes Asset(Random& rng, size_t size) {
    Bytes out;
    out.reserve(size);
    while (out.size() < size) {
        AppendAssetPart(rng, std::min<size_t>(size - out.size(), 64 * 1024 + rng.Below(1 << 20)),
                        &out);
    }
    return out;
}

// About one change per 800 KiB, each 4 to 32 KiB: half replaced, a quarter inserted, a quarter
// removed, at increasing positions.
Bytes ChangedAsset(Random& rng, const Bytes& old) {
    size_t changes = std::max<size_t>(1, old.size() / (800 * 1024));
    std::set<size_t> positions;
    while (positions.size() < changes) {
        positions.insert(rng.Below(old.size()));
    }
    Bytes out;
    out.reserve(old.size() + old.size() / 50);
    size_t from = 0;
    for (size_t at : positions) {
        if (at < from) {
            continue;
        }
        out.insert(out.end(), old.begin() + static_cast<long>(from),
                   old.begin() + static_cast<long>(at));
        size_t length = 4096 + rng.Below(28 * 1024);
        uint64_t kind = rng.Below(4);
        if (kind != 3) {
            AppendAssetPart(rng, length, &out);  // replaced or inserted
        }
        from = kind == 2 ? at : std::min(old.size(), at + length);
    }
    out.insert(out.end(), old.begin() + static_cast<long>(from), old.end());
    return out;
}

std::string TextLine(Random& rng) {
    static const char* const kWords[] = {
        "train",     "signal", "track", "speed",      "brake",    "station", "coupler",  "route",
        "loco",      "wagon",  "bogie", "pantograph", "scenery",  "tunnel",  "bridge",   "points",
        "timetable", "driver", "horn",  "throttle",   "gradient", "curve",   "platform", "depot"};
    std::string line = "entry_" + std::to_string(rng.Below(1000000)) + " =";
    for (uint64_t n = 3 + rng.Below(12); n > 0; --n) {
        line += ' ';
        line += kWords[rng.Below(std::size(kWords))];
        if (rng.Below(4) == 0) {
            line += std::to_string(rng.Below(10000));
        }
    }
    return line + '\n';
}

void WriteLines(const std::vector<std::string>& lines, const char* path) {
    Bytes out;
    for (const std::string& line : lines) {
        out.insert(out.end(), line.begin(), line.end());
    }
    WriteFile(path, out);
}

int MakeText(uint64_t size, const char* oldPath, const char* newPath) {
    Random rng(2);
    std::vector<std::string> lines;
    for (uint64_t total = 0; total < size;) {
        lines.push_back(TextLine(rng));
        total += lines.back().size();
    }
    WriteLines(lines, oldPath);
    for (int edits = 0; edits < 3000; ++edits) {
        size_t at = rng.Below(lines.size());
        switch (rng.Below(3)) {
            case 0:
                lines[at] = TextLine(rng);
                break;
            case 1:
                lines.insert(lines.begin() + static_cast<long>(at), TextLine(rng));
                break;
            default:
                lines.erase(lines.begin() + static_cast<long>(at));
        }
    }
    for (int moves = 0; moves < 20; ++moves) {
        size_t count = 500 + rng.Below(5000);
        size_t from = rng.Below(lines.size() - count);
        std::vector<std::string> block(lines.begin() + static_cast<long>(from),
                                       lines.begin() + static_cast<long>(from + count));
        lines.erase(lines.begin() + static_cast<long>(from),
                    lines.begin() + static_cast<long>(from + count));
        size_t to = rng.Below(lines.size());
        lines.insert(lines.begin() + static_cast<long>(to), block.begin(), block.end());
    }
    WriteLines(lines, newPath);
    return 0;
}

struct Edits {
    std::vector<uint64_t> offsets;  // in order, none overlapping
    size_t length = 0;
};

// One edit in each of `count` equal slots of the file, so that none overlap.
Edits PlanEdits(Random& rng, uint64_t size) {
    Edits edits;
    edits.length = static_cast<size_t>(std::clamp<uint64_t>(size / 100, 1, 16 << 10));
    uint64_t count = std::clamp<uint64_t>(size >> 20, 1, 200);
    uint64_t slot = size / count;
    for (uint64_t i = 0; i < count; ++i) {
        edits.offsets.push_back(i * slot + rng.Below(slot - edits.length + 1));
    }
    return edits;
}

int MakeEdits(uint64_t size, const char* oldPath, const char* newPath, bool sparse) {
    Random rng(3);
    Edits edits = PlanEdits(rng, size);
    int oldFd = open(oldPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int newFd = open(newPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (oldFd < 0 || newFd < 0 || ftruncate(oldFd, static_cast<off_t>(size)) != 0 ||
        ftruncate(newFd, static_cast<off_t>(size)) != 0) {
        return 1;
    }
    constexpr uint64_t kChunk = 1 << 20;
    Bytes chunk(kChunk);
    bool ok = true;
    for (uint64_t at = 0; at < size && ok; at += sparse ? 64 * kChunk : kChunk) {
        size_t length = static_cast<size_t>(std::min(kChunk, size - at));
        rng.Fill(chunk.data(), length);
        ok = pwrite(oldFd, chunk.data(), length, static_cast<off_t>(at)) ==
                 static_cast<ssize_t>(length) &&
             pwrite(newFd, chunk.data(), length, static_cast<off_t>(at)) ==
                 static_cast<ssize_t>(length);
    }
    for (uint64_t at : edits.offsets) {
        size_t length = static_cast<size_t>(std::min<uint64_t>(edits.length, size - at));
        rng.Fill(chunk.data(), length);
        ok = ok && pwrite(newFd, chunk.data(), length, static_cast<off_t>(at)) ==
                       static_cast<ssize_t>(length);
    }
    std::printf("%zu\n", edits.offsets.size() * edits.length);
    ok = close(oldFd) == 0 && ok;
    return close(newFd) == 0 && ok ? 0 : 1;
}

uint64_t ParseSize(const char* text) {
    char* end = nullptr;
    double value = std::strtod(text, &end);
    switch (*end) {
        case 'K':
            return static_cast<uint64_t>(value * 1024);
        case 'M':
            return static_cast<uint64_t>(value * 1024 * 1024);
        case 'G':
            return static_cast<uint64_t>(value * 1024 * 1024 * 1024);
        default:
            return static_cast<uint64_t>(value);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: make_pair asset|text|edits|sparse SIZE OLD NEW\n");
        return 2;
    }
    std::string kind = argv[1];
    uint64_t size = ParseSize(argv[2]);
    if (kind == "asset") {
        Random rng(1);
        Bytes old = Asset(rng, size);
        return WriteFile(argv[3], old) && WriteFile(argv[4], ChangedAsset(rng, old)) ? 0 : 1;
    }
    if (kind == "text") {
        return MakeText(size, argv[3], argv[4]);
    }
    if ((kind == "edits" || kind == "sparse") && size >= 100) {
        return MakeEdits(size, argv[3], argv[4], kind == "sparse");
    }
    std::fprintf(stderr, "make_pair: unknown kind or size\n");
    return 2;
}
