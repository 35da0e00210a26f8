// The real program on real files: round trips, the installer's exit codes, and that no failure
// leaves a wrong or partial output behind.

#include <gtest/gtest.h>

#include <zlib.h>
#include <zstd.h>

#include <set>

#include "tests/tools/orbpatch/tool_runner.h"
#include "tools/orbpatch/xxhash64.h"

namespace OrbPatchTest {
namespace {

class OrbPatchTool : public ::testing::Test {
protected:
    int Run(const std::vector<fs::path>& args) { return RunProgram(ToolPath(), args, Err()); }
    int Diff(const fs::path& oldFile, const fs::path& newFile, const fs::path& diff) {
        return Run({"diff", oldFile, newFile, diff});
    }
    int Apply(const fs::path& oldFile, const fs::path& diff, const fs::path& out) {
        return Run({"apply", oldFile, diff, out});
    }
    fs::path Err() const { return m_dir / "stderr.txt"; }
    std::string ErrText() const {
        Bytes err = ReadBytes(Err());
        return {err.begin(), err.end()};
    }
    // Names in the test folder other than the captured standard error.
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir)) {
            if (entry.path() != Err()) {
                names.insert(entry.path().filename().string());
            }
        }
        return names;
    }
    // Writes OLD and NEW, makes the difference and checks that applying it rebuilds NEW.
    size_t ExpectRoundTrip(const Bytes& oldData, const Bytes& newData) {
        WriteBytes(m_dir / "old", oldData);
        WriteBytes(m_dir / "new", newData);
        fs::remove(m_dir / "out");
        EXPECT_EQ(Diff(m_dir / "old", m_dir / "new", m_dir / "diff"), 0) << ErrText();
        EXPECT_EQ(Apply(m_dir / "old", m_dir / "diff", m_dir / "out"), 0) << ErrText();
        EXPECT_TRUE(ReadBytes(m_dir / "out") == newData);
        return fs::file_size(m_dir / "diff");
    }

    orvik_test::TestFolder m_temp;
    const fs::path m_dir = m_temp.Path();
};

// A build of a real program with the edits a rebuild brings: code inserted and removed, and
// addresses changed all over.
Bytes EditedBinary(const Bytes& original) {
    Bytes edited = original;
    Bytes inserted = RandomBytes(64 * 1024, 3);
    edited.insert(edited.begin() + static_cast<long>(edited.size() / 3), inserted.begin(),
                  inserted.end());
    auto cut = edited.begin() + static_cast<long>(edited.size() * 2 / 3);
    edited.erase(cut, cut + 32 * 1024);
    for (size_t i = 100; i < edited.size(); i += 4093) {
        edited[i] += 1;
    }
    return edited;
}

TEST_F(OrbPatchTool, RebuildsNewForEveryShapeOfInput) {
    Bytes binary = ReadBytes(ToolPath());
    ASSERT_GT(binary.size(), 100000u);
    Bytes random = RandomBytes(300000, 11);
    // A raw-content prefix must not be taken for a zstd dictionary because of its first bytes.
    Bytes dictionaryMagic = {0x37, 0xA4, 0x30, 0xEC, 1, 0, 0, 0};
    dictionaryMagic.insert(dictionaryMagic.end(), random.begin(), random.begin() + 5000);
    Bytes dictionaryMagicEdited = dictionaryMagic;
    dictionaryMagicEdited[2000] ^= 1;

    struct Case {
        const char* name;
        Bytes oldData;
        Bytes newData;
        size_t maxDiffSize;
    } cases[] = {
        {"both empty", {}, {}, 100},
        {"empty old", {}, random, random.size() + 1000},
        {"empty new", random, {}, 100},
        {"identical", binary, binary, 1000},
        {"unrelated random", RandomBytes(200000, 12), random, random.size() + 1000},
        {"edited binary", binary, EditedBinary(binary), binary.size() / 10},
        {"old starts like a dictionary", dictionaryMagic, dictionaryMagicEdited, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_LE(ExpectRoundTrip(c.oldData, c.newData), c.maxDiffSize);
    }
}

// The Linux and the Windows builds make the same difference file, byte for byte, so that a
// file made on either is applied alike on the other. The digest is that of the Linux build's.
TEST_F(OrbPatchTool, SameDifferenceOnEveryPlatform) {
    const Bytes oldData = RandomBytes(10 << 20, 41);
    const Bytes newData = EditedBinary(oldData);
    ExpectRoundTrip(oldData, newData);
    const Bytes diff = ReadBytes(m_dir / "diff");
    EXPECT_EQ(diff.size(), 73047u);
    EXPECT_EQ(OrbPatch::Xxh64(diff), 1076779539513190564u);
}

TEST_F(OrbPatchTool, AppliesUnderTheInstallersNameOnly) {
    WriteBytes(m_dir / "old", RandomBytes(10000, 1));
    WriteBytes(m_dir / "new", RandomBytes(12000, 2));
    ASSERT_EQ(Diff(m_dir / "old", m_dir / "new", m_dir / "diff"), 0);

    fs::create_directory(m_dir / "bin");
    fs::copy_file(ToolPath(), m_dir / "bin" / "orbpatchl-w32.exe");
#ifdef _WIN32
    // Windows spells names in any case.
    fs::path second = m_dir / "ORBPATCHL-W32.EXE";
    fs::copy_file(ToolPath(), second);
#else
    fs::path second = m_dir / "orbpatchl-w32.exe";
    fs::create_symlink(ToolPath(), second);
#endif
    for (const fs::path& tool : {m_dir / "bin" / "orbpatchl-w32.exe", second}) {
        SCOPED_TRACE(tool);
        fs::remove(m_dir / "out");
        EXPECT_EQ(RunProgram(tool, {m_dir / "old", m_dir / "diff", m_dir / "out"}, Err()), 0);
        EXPECT_TRUE(ReadBytes(m_dir / "out") == ReadBytes(m_dir / "new"));
        // Under this name the arguments are OLD DIFF OUT and nothing else.
        EXPECT_EQ(RunProgram(tool, {"apply", m_dir / "old", m_dir / "diff", m_dir / "out"}, Err()),
                  1);
        EXPECT_EQ(RunProgram(tool, {m_dir / "old", m_dir / "diff"}, Err()), 1);
        EXPECT_EQ(RunProgram(tool, {}, Err()), 1);
    }
}

TEST_F(OrbPatchTool, ReportsUnusableArgumentsWithTheInstallersCodes) {
    fs::path oldFile = m_dir / "old", newFile = m_dir / "new", diff = m_dir / "diff";
    WriteBytes(oldFile, RandomBytes(5000, 1));
    WriteBytes(newFile, RandomBytes(5000, 2));
    ASSERT_EQ(Diff(oldFile, newFile, diff), 0);
    WriteBytes(m_dir / "file", {1});
    fs::create_directory(m_dir / "folder");
    fs::path missing = m_dir / "missing";

    struct Case {
        const char* name;
        std::vector<fs::path> args;
        int code;
    } cases[] = {
        {"no command", {}, 1},
        {"unknown command", {"merge", oldFile, diff, m_dir / "x"}, 1},
        {"apply with two", {"apply", oldFile, diff}, 1},
        {"apply with four", {"apply", oldFile, diff, m_dir / "x", m_dir / "y"}, 1},
        {"diff with two", {"diff", oldFile, newFile}, 1},
        {"diff with a bad level", {"diff", "--level", "99", oldFile, newFile, m_dir / "x"}, 1},
        {"apply: OLD missing", {"apply", missing, diff, m_dir / "x"}, 2},
        {"apply: OLD is a folder", {"apply", m_dir / "folder", diff, m_dir / "x"}, 2},
        {"diff: OLD missing", {"diff", missing, newFile, m_dir / "x"}, 2},
        {"apply: DIFF missing", {"apply", oldFile, missing, m_dir / "x"}, 3},
        {"diff: NEW missing", {"diff", oldFile, missing, m_dir / "x"}, 3},
        {"apply: OUT folder missing", {"apply", oldFile, diff, missing / "x"}, 4},
        {"apply: OUT folder is a file", {"apply", oldFile, diff, m_dir / "file" / "x"}, 4},
        {"apply: OUT is a folder", {"apply", oldFile, diff, m_dir / "folder"}, 4},
        {"diff: DIFF folder missing", {"diff", oldFile, newFile, missing / "x"}, 4},
    };
    std::set<std::string> before = Entries();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Run(c.args), c.code) << ErrText();
        EXPECT_EQ(Entries(), before);  // nothing created, nothing left half-written
    }
    EXPECT_TRUE(fs::is_empty(m_dir / "folder"));
}

TEST_F(OrbPatchTool, RefusesAnOldFileTheDiffWasNotMadeFrom) {
    Bytes oldData = RandomBytes(50000, 1);
    Bytes newData = oldData;
    newData[100] ^= 1;
    WriteBytes(m_dir / "old", oldData);
    WriteBytes(m_dir / "new", newData);
    ASSERT_EQ(Diff(m_dir / "old", m_dir / "new", m_dir / "diff"), 0);
    WriteBytes(m_dir / "out", {'k', 'e', 'e', 'p'});

    Bytes sameSize = oldData;
    sameSize[40000] ^= 1;
    Bytes longer = oldData;
    longer.push_back(0);
    for (const Bytes& other : {sameSize, longer, Bytes{}, newData}) {
        WriteBytes(m_dir / "other", other);
        EXPECT_EQ(Apply(m_dir / "other", m_dir / "diff", m_dir / "out"), 6) << ErrText();
        EXPECT_TRUE(ReadBytes(m_dir / "out") == (Bytes{'k', 'e', 'e', 'p'}));
    }
}

TEST_F(OrbPatchTool, RefusesADamagedDiffAndKeepsTheExistingOutput) {
    Bytes oldData = ReadBytes(ToolPath());
    WriteBytes(m_dir / "old", oldData);
    WriteBytes(m_dir / "new", EditedBinary(oldData));
    ASSERT_EQ(Diff(m_dir / "old", m_dir / "new", m_dir / "diff"), 0);
    Bytes diff = ReadBytes(m_dir / "diff");
    ASSERT_GT(diff.size(), 1000u);
    const Bytes keep = {'k', 'e', 'e', 'p'};
    WriteBytes(m_dir / "out", keep);
    std::set<std::string> before = Entries();

    auto flipped = [&](size_t at) {
        Bytes d = diff;
        d[at] ^= 0x40;
        return d;
    };
    auto truncated = [&](size_t size) {
        return Bytes(diff.begin(), diff.begin() + static_cast<long>(size));
    };
    Bytes appended = diff;
    appended.push_back(0);
    // The file header holds three varints; then the record's body size, its body and its CRC.
    size_t firstRecord = 12;
    for (int varints = 0; varints < 3; ++firstRecord) {
        varints += (diff[firstRecord] & 0x80) == 0 ? 1 : 0;
    }
    firstRecord += 4;
    size_t firstFrame =
        firstRecord + 4 +
        (diff[firstRecord] | diff[firstRecord + 1] << 8 | diff[firstRecord + 2] << 16) + 4;
    struct Case {
        const char* name;
        Bytes damaged;
    } cases[] = {
        {"empty", {}},
        {"header only", truncated(firstRecord)},
        {"half", truncated(diff.size() / 2)},
        {"last byte missing", truncated(diff.size() - 1)},
        {"byte appended", appended},
        {"size in header", flipped(13)},
        {"block record", flipped(firstRecord + 10)},
        {"start of the first frame", flipped(firstFrame)},
        {"not a difference file", RandomBytes(diff.size(), 5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(m_dir / "diff", c.damaged);
        EXPECT_EQ(Apply(m_dir / "old", m_dir / "diff", m_dir / "out"), 5) << ErrText();
        EXPECT_TRUE(ReadBytes(m_dir / "out") == keep);
        EXPECT_EQ(Entries(), before);
    }

    // A flipped bit inside the frame may fall on a bit the decoder never reads; then the file is
    // still right. What must never happen is a different file reported as success.
    int refused = 0;
    for (size_t at = firstFrame + 1; at < diff.size(); at += diff.size() / 16) {
        SCOPED_TRACE(at);
        WriteBytes(m_dir / "diff", flipped(at));
        int code = Apply(m_dir / "old", m_dir / "diff", m_dir / "out");
        if (code == 0) {
            EXPECT_TRUE(ReadBytes(m_dir / "out") == ReadBytes(m_dir / "new"));
            WriteBytes(m_dir / "out", keep);
            continue;
        }
        ++refused;
        EXPECT_EQ(code, 5) << ErrText();
        EXPECT_TRUE(ReadBytes(m_dir / "out") == keep);
        EXPECT_EQ(Entries(), before);
    }
    EXPECT_GT(refused, 8);
}

TEST_F(OrbPatchTool, OutputKeepsOldModeAndMayReplaceOld) {
    WriteBytes(m_dir / "old", RandomBytes(8000, 1));
    WriteBytes(m_dir / "new", RandomBytes(9000, 2));
    ASSERT_EQ(Diff(m_dir / "old", m_dir / "new", m_dir / "diff"), 0);
#ifdef _WIN32
    // Windows keeps one bit of the mode: read-only.
    const fs::perms mode = fs::perms(0444);
#else
    const fs::perms mode = fs::perms(0751);
#endif
    fs::permissions(m_dir / "old", mode);

    ASSERT_EQ(Apply(m_dir / "old", m_dir / "diff", m_dir / "out"), 0);
    EXPECT_EQ(fs::status(m_dir / "out").permissions(), mode);
    // The installer may name the same file twice; the old content is read before the rename.
    ASSERT_EQ(Apply(m_dir / "old", m_dir / "diff", m_dir / "old"), 0);
    EXPECT_TRUE(ReadBytes(m_dir / "old") == ReadBytes(m_dir / "new"));
}

// Killed (SIGKILL, as when the installer that started it is killed) before any of its calls,
// the tool leaves the folder as it was or with the whole output: no temporary file survives it.
TEST_F(OrbPatchTool, KilledAnywhereLeavesNoTemporaryFile) {
#ifdef _WIN32
    GTEST_SKIP() << "POSIX only: strace injects the kills";
#else
    WriteBytes(m_dir / "old", RandomBytes(200000, 1));
    WriteBytes(m_dir / "new", EditedBinary(ReadBytes(m_dir / "old")));
    ASSERT_EQ(Diff(m_dir / "old", m_dir / "new", m_dir / "diff"), 0);
    const std::set<std::string> before = Entries();
    for (std::string call : {"openat", "fallocate", "mmap", "write", "fchmod", "close", "linkat",
                             "rename", "munmap"}) {
        for (int n = 1; n <= 16; ++n) {
            SCOPED_TRACE(call + " " + std::to_string(n));
            // Killed on purpose: what it leaves behind is what counts.
            (void)RunProgram("/usr/bin/strace",
                             {"-qq", "-o", "/dev/null", "-e", "trace=" + call, "-e",
                              "inject=" + call + ":signal=KILL:when=" + std::to_string(n),
                              ToolPath(), "apply", m_dir / "old", m_dir / "diff", m_dir / "out"},
                             Err());
            std::set<std::string> after = Entries();
            if (after.erase("out")) {
                EXPECT_TRUE(ReadBytes(m_dir / "out") == ReadBytes(m_dir / "new"));
            }
            EXPECT_EQ(after, before);
            fs::remove(m_dir / "out");
        }
    }
#endif
}

// A full disk shows as a file size limit here: the output cannot be reserved, so the run fails
// with "not writable" and leaves neither the output nor its temporary file.
TEST_F(OrbPatchTool, FullDiskFailsCleanly) {
#ifdef _WIN32
    GTEST_SKIP() << "POSIX only: the file size limit of the shell stands for the full disk";
#else
    WriteBytes(m_dir / "old", {});
    WriteBytes(m_dir / "new", Bytes(4 << 20, 'a'));
    ASSERT_EQ(Diff(m_dir / "old", m_dir / "new", m_dir / "diff"), 0);
    std::set<std::string> before = Entries();
    std::string command = "ulimit -f 1024; trap '' XFSZ; exec '" + ToolPath().string() +
                          "' apply '" + (m_dir / "old").string() + "' '" +
                          (m_dir / "diff").string() + "' '" + (m_dir / "out").string() +
                          "' 2>/dev/null";
    int status = std::system(("sh -c \"" + command + "\"").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 4);
    EXPECT_EQ(Entries(), before);
#endif
}

// A file of many blocks, with an insertion that moves everything after it, patches to about
// the size of the insertion, and is rebuilt without holding OLD or NEW in memory.
TEST_F(OrbPatchTool, LargeFilesPatchSmallAndApplyInBoundedMemory) {
    Bytes oldData = RandomBytes(64 << 20, 21);
    Bytes newData = RandomBytes(1 << 20, 22);
    newData.insert(newData.end(), oldData.begin(), oldData.end());
    newData[40 << 20] ^= 1;
    WriteBytes(m_dir / "old", oldData);
    WriteBytes(m_dir / "new", newData);
    oldData = {};
    ASSERT_EQ(Diff(m_dir / "old", m_dir / "new", m_dir / "diff"), 0) << ErrText();
    EXPECT_LT(fs::file_size(m_dir / "diff"), (1 << 20) + 4096);
#ifdef _WIN32
    // No time(1) here to measure the peak; the file is still read a view at a time.
    ASSERT_EQ(Apply(m_dir / "old", m_dir / "diff", m_dir / "out"), 0) << ErrText();
#else
    // Measured by time(1), a small process of its own: a child spawned from this big one would
    // be charged with its peak.
    fs::path rss = m_dir / "rss";
    ASSERT_EQ(RunProgram("/usr/bin/time",
                         {"-f", "%M", "-o", rss, ToolPath(), "apply", m_dir / "old", m_dir / "diff",
                          m_dir / "out"},
                         Err()),
              0)
        << ErrText();
    Bytes kib = ReadBytes(rss);
    EXPECT_LT(std::stol(std::string(kib.begin(), kib.end())), 32 << 10);
#endif
    EXPECT_TRUE(ReadBytes(m_dir / "out") == newData);
}

// Difference files of the first format, as publishers shipped them: a header and one zstd
// frame over all of OLD.
TEST_F(OrbPatchTool, AppliesFirstFormatFiles) {
    Bytes oldData = RandomBytes(300000, 31);
    Bytes newData = oldData;
    newData.insert(newData.begin() + 1000, 5000, 'v');
    WriteBytes(m_dir / "old", oldData);
    WriteBytes(m_dir / "new", newData);
    Bytes frame(ZSTD_compressBound(newData.size()));
    ZSTD_CCtx* ctx = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(ctx, ZSTD_c_windowLog, 20);
    ZSTD_CCtx_refPrefix(ctx, oldData.data(), oldData.size());
    frame.resize(ZSTD_compress2(ctx, frame.data(), frame.size(), newData.data(), newData.size()));
    ZSTD_freeCCtx(ctx);
    Bytes header = {'O', 'R', 'B', 'P', 'A', 'T', 'C', 'H'};
    auto put = [&header](uint64_t value, int size) {
        for (int i = 0; i < size; ++i) {
            header.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
    };
    put(1, 4);
    put(20, 4);
    put(oldData.size(), 8);
    put(newData.size(), 8);
    put(OrbPatch::Xxh64(oldData), 8);
    put(OrbPatch::Xxh64(newData), 8);
    put(crc32(0, header.data(), static_cast<uInt>(header.size())), 4);
    header.insert(header.end(), frame.begin(), frame.end());
    WriteBytes(m_dir / "diff", header);

    EXPECT_EQ(Apply(m_dir / "old", m_dir / "diff", m_dir / "out"), 0) << ErrText();
    EXPECT_TRUE(ReadBytes(m_dir / "out") == newData);
    WriteBytes(m_dir / "other", newData);
    EXPECT_EQ(Apply(m_dir / "other", m_dir / "diff", m_dir / "out2"), 6);
    header[header.size() - 10] ^= 0x40;
    WriteBytes(m_dir / "diff", header);
    EXPECT_EQ(Apply(m_dir / "old", m_dir / "diff", m_dir / "out2"), 5);
    EXPECT_FALSE(fs::exists(m_dir / "out2"));
}

}  // namespace
}  // namespace OrbPatchTest
