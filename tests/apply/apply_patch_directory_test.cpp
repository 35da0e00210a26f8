#include "apply/apply_patch_directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "applier_fixture.h"
#include "unins_log_helpers.h"

namespace ZephPatch {
namespace {

using ZephTest::ApplierTest;
using ZephTest::ListEntry;
using ZephTest::Md5Of;
using ZephTest::Message;
using ZephTest::ReadFile;
using ZephTest::TreeOf;
using ZephTest::WriteFile;
using ZephTest::WriteList;

class ApplyPatchDirectoryTest : public ApplierTest {
protected:
    bool Apply(const std::string& lastFile = "ZephLauncher.exe") {
        return ApplyPatchDirectory(install, patch, lastFile, reporter);
    }

    // An installation with one file of each kind and a patch that adds, deletes and patches.
    void MakeMixedPatch() {
        InstallTool("orbpatchl-w32.exe");
        WriteFile(install + "/keep.txt", "untouched");
        WriteFile(install + "/data/old.txt", "to be replaced");
        WriteFile(install + "/gone/dead.txt", "to be deleted");
        WriteFile(patch + "/data/data/old.txt", "replacement");
        WriteFile(patch + "/data/new/deep/fresh.txt", "brand new");
        WriteList(patch + "/addedFiles.txt",
                  {{"data\\old.txt", "", ""}, {"new\\deep\\fresh.txt", "", ""}});
        WriteList(patch + "/deletedFiles.txt", {{"gone\\dead.txt", "", ""}});
    }

    void ExpectNoLeftovers() {
        for (const auto& [path, content] : TreeOf(install)) {
            EXPECT_FALSE(path.ends_with(".pbk")) << path;
            EXPECT_NE(path, ".patch-journal");
            EXPECT_NE(path, "unins000_temp.dat");
        }
    }
};

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    stat(path.c_str(), &status);
    return status.st_mode & 0777;
}

// The archive carries no modes: replaced and patched files keep theirs, and a new file is a
// program when its content or its place says so.
TEST_F(ApplyPatchDirectoryTest, ProgramsStayProgramsAndNewOnesBecomeOnes) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows files have no modes";
#endif
    InstallTool("orbpatchl-w32.exe");
    WriteFile(install + "/bin/VelmorUtil.exe", "#!/bin/sh\nold\n");
    chmod((install + "/bin/VelmorUtil.exe").c_str(), 0750);
    WriteFile(patch + "/data/bin/VelmorUtil.exe", "#!/bin/sh\nnew\n");
    for (const char* name : {"bin/Tool.exe", "data/run.sh", "data/notes.txt"})
        WriteFile(patch + "/data/" + name,
                  std::string(name) == "data/run.sh" ? "#!/bin/sh\n" : "x");
    WriteList(patch + "/addedFiles.txt", {{"bin\\VelmorUtil.exe", "", ""},
                                          {"bin\\Tool.exe", "", ""},
                                          {"data\\run.sh", "", ""},
                                          {"data\\notes.txt", "", ""}});
    const ListEntry patched = PatchedEntry("bin/app", "old program", "new program");
    chmod((install + "/bin/app").c_str(), 0700);
    WriteList(patch + "/patchedFiles.txt", {patched});
    const mode_t mask = umask(022);
    ASSERT_TRUE(Apply());
    umask(mask);
    EXPECT_EQ(ModeOf(install + "/bin/VelmorUtil.exe"), 0750u);
    EXPECT_EQ(ModeOf(install + "/bin/app"), 0700u);
    EXPECT_EQ(ModeOf(install + "/bin/Tool.exe"), 0755u);
    EXPECT_EQ(ModeOf(install + "/data/run.sh"), 0755u);
    EXPECT_EQ(ModeOf(install + "/data/notes.txt"), 0644u);
}

TEST_F(ApplyPatchDirectoryTest, EmptyListsTouchNothingAndSucceed) {
    const auto log = ZephTest::BuildLog({ZephTest::EndInstallRecord(false)});
    ZephTest::WriteBytes(install + "/unins000.dat", log);
    const auto before = TreeOf(install);
    EXPECT_TRUE(Apply());
    EXPECT_EQ(reporter.totals, std::vector<int>{0});
    EXPECT_EQ(TreeOf(install), before);
    EXPECT_TRUE(reporter.lines.empty());
}

TEST_F(ApplyPatchDirectoryTest, AddsDeletesPatchesAndRecordsTheAddedFiles) {
    MakeMixedPatch();
    const ListEntry patched = PatchedEntry("bin/engine.dll", "engine v1", "engine v2");
    WriteList(patch + "/patchedFiles.txt", {patched});
    ZephTest::WriteBytes(
        install + "/unins000.dat",
        ZephTest::BuildLog({ZephTest::FillerRecord(100, 1), ZephTest::EndInstallRecord(false)}));

    ASSERT_TRUE(Apply());
    EXPECT_EQ(reporter.totals, std::vector<int>{4});
    EXPECT_TRUE(reporter.lines.empty());
    EXPECT_EQ(ReadFile(install + "/data/old.txt"), "replacement");
    EXPECT_EQ(ReadFile(install + "/new/deep/fresh.txt"), "brand new");
    EXPECT_FALSE(ZephTest::Exists(install + "/gone/dead.txt"));
    EXPECT_EQ(ReadFile(install + "/bin/engine.dll"), "engine v2");
    EXPECT_EQ(ReadFile(install + "/keep.txt"), "untouched");
    ExpectNoLeftovers();

    // The tool ran in bin with the backup, the difference file and the target.
    const std::string bin = install + "/bin";
    EXPECT_EQ(ToolCalls(),
              std::vector<std::string>{bin + "|" + bin + "/engine.dll.pbk|" + patch +
                                       "/data/bin/engine.dll.diff|" + bin + "/engine.dll"});

    const auto log = ZephTest::ParseLogChecked(ZephTest::ReadBytes(install + "/unins000.dat"));
    ASSERT_EQ(log.records.size(), 4u);
    EXPECT_EQ(ZephTest::DeletedPath(log.records[1]),
              ZephTest::NativePath(install + "/data/old.txt"));
    EXPECT_EQ(ZephTest::DeletedPath(log.records[2]),
              ZephTest::NativePath(install + "/new/deep/fresh.txt"));
    EXPECT_EQ(log.records[3].type, 0x11);
}

TEST_F(ApplyPatchDirectoryTest, MissingListFileStopsBeforeAnything) {
    MakeMixedPatch();
    for (const char* list : {"addedFiles.txt", "deletedFiles.txt", "patchedFiles.txt"}) {
        SCOPED_TRACE(list);
        reporter.lines.clear();
        const std::string path = patch + "/" + list;
        const std::string saved = ReadFile(path);
        std::filesystem::remove(path);
        const auto before = TreeOf(install);
        EXPECT_FALSE(Apply());
        EXPECT_EQ(TreeOf(install), before);
        EXPECT_EQ(reporter.lines,
                  (std::vector<Message>{{3, "Could not open: " + path +
                                                " for reading. The file might not be present"}}));
        WriteFile(path, saved);
    }
    EXPECT_TRUE(reporter.totals.empty()) << "no total before the lists are read";
}

TEST_F(ApplyPatchDirectoryTest, PatchedFileStates) {
    InstallTool("orbpatchl-w32.exe");
    const ListEntry done = PatchedEntry("a.dll", "new a", "new a");
    const ListEntry same = PatchedEntry("b.dll", "same b", "same b");
    ListEntry already = PatchedEntry("c.dll", "new c", "new c");
    already.before = Md5Of("old c");
    WriteList(patch + "/patchedFiles.txt", {done, same, already});

    ASSERT_TRUE(Apply());
    EXPECT_TRUE(ToolCalls().empty());
    EXPECT_EQ(reporter.lines,
              (std::vector<Message>{{2, "Existing file appears to have been patched already: " +
                                            install + "/c.dll"}}));
    ExpectNoLeftovers();
}

// A damaged file stops everything, and what the add and delete stages did is undone.
TEST_F(ApplyPatchDirectoryTest, DamagedFileRollsBackEveryStage) {
    MakeMixedPatch();
    ListEntry damaged = PatchedEntry("bin/engine.dll", "engine v1 (modded)", "engine v2");
    damaged.before = Md5Of("engine v1");
    const ListEntry fine = PatchedEntry("bin/first.dll", "first v1", "first v2");
    WriteList(patch + "/patchedFiles.txt", {fine, damaged});
    const auto before = TreeOf(install);

    EXPECT_FALSE(Apply());
    EXPECT_EQ(TreeOf(install), before) << "added, deleted and patched files all restored";
    EXPECT_EQ(MessagesAtLeast(3),
              (std::vector<Message>{{3, "Existing file is damaged and cannot be patched: " +
                                            install + "/bin/engine.dll"}}));
    ExpectNoLeftovers();
}

TEST_F(ApplyPatchDirectoryTest, MissingFileHasNoChecksum) {
    InstallTool("orbpatchl-w32.exe");
    WriteList(patch + "/patchedFiles.txt", {{"nothere.dll", Md5Of("x"), Md5Of("y")}});
    EXPECT_FALSE(Apply());
    EXPECT_EQ(reporter.lines,
              (std::vector<Message>{{3, "Failed to compute the checksum for existing file: " +
                                            install + "/nothere.dll"}}));
}

TEST_F(ApplyPatchDirectoryTest, StaleBackupsAreReplaced) {
    MakeMixedPatch();
    const ListEntry patched = PatchedEntry("bin/engine.dll", "engine v1", "engine v2");
    WriteList(patch + "/patchedFiles.txt", {patched});
    WriteFile(install + "/data/old.txt.pbk", "stale");
    WriteFile(install + "/bin/engine.dll.pbk", "stale");
    ASSERT_TRUE(Apply());
    EXPECT_EQ(ReadFile(install + "/bin/engine.dll"), "engine v2");
    ExpectNoLeftovers();

    // On failure the file comes back from the new backup, not the stale one.
    WriteFile(install + "/bin/engine.dll.pbk", "stale");
    WriteFile(patch + "/data/bin/engine.dll.diff", "exit 7\n");
    WriteList(patch + "/patchedFiles.txt", {{"bin\\engine.dll", Md5Of("v3"), Md5Of("engine v2")}});
    EXPECT_FALSE(Apply());
    EXPECT_EQ(ReadFile(install + "/bin/engine.dll"), "engine v2");
    ExpectNoLeftovers();
}

TEST_F(ApplyPatchDirectoryTest, AddedFilesComeOutOnRollback) {
    MakeMixedPatch();
    WriteFile(install + "/bin/z.dll", "z");
    WriteFile(patch + "/data/bin/z.dll.diff", "exit 7\n");
    WriteList(patch + "/patchedFiles.txt", {{"bin\\z.dll", Md5Of("z2"), Md5Of("z")}});
    const auto before = TreeOf(install);
    EXPECT_FALSE(Apply());
    EXPECT_EQ(TreeOf(install), before);
    EXPECT_EQ(ReadFile(install + "/data/old.txt"), "to be replaced");
    EXPECT_FALSE(ZephTest::Exists(install + "/new/deep/fresh.txt"));
}

TEST_F(ApplyPatchDirectoryTest, LastFileIsPatchedLast) {
    InstallTool("orbpatchl-w32.exe");
    const ListEntry a = PatchedEntry("a.dll", "a1", "a2");
    const ListEntry launcher = PatchedEntry("ZephLauncher.exe", "l1", "l2");
    const ListEntry b = PatchedEntry("b.dll", "b1", "b2");
    WriteList(patch + "/patchedFiles.txt", {a, launcher, b});
    ASSERT_TRUE(Apply());
    // The other entries may run side by side; the launcher only after both.
    const auto calls = ToolCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_TRUE(calls[0].ends_with("/a.dll") || calls[0].ends_with("/b.dll"));
    EXPECT_TRUE(calls[1].ends_with("/a.dll") || calls[1].ends_with("/b.dll"));
    EXPECT_TRUE(calls[2].ends_with("/ZephLauncher.exe"));
}

// Tool runs overlap, but the user reads what a one-at-a-time run says: a slow entry's failure
// comes first, the held-back messages of the entries after it never, and every entry that ran
// meanwhile is undone.
TEST_F(ApplyPatchDirectoryTest, OverlappingToolRunsKeepEntryOrder) {
    MakeMixedPatch();
    std::optional<orvik_test::ScopedEnv> workers(std::in_place, "ORVIK_WORKERS", "4");
    const ListEntry slowFine = PatchedEntry("bin/a.dll", "a1", "a2");
    const ListEntry slowFailing = PatchedEntry("bin/b.dll", "b1", "b2");
    const ListEntry fast = PatchedEntry("bin/c.dll", "c1", "c2");
    ListEntry already = PatchedEntry("bin/d.dll", "d2", "d2");
    already.before = Md5Of("d1");
    ListEntry damaged = PatchedEntry("bin/e.dll", "e1 (modded)", "e2");
    damaged.before = Md5Of("e1");
    WriteFile(patch + "/data/bin/a.dll.diff", "wait 300\nreplace\na2");
    WriteFile(patch + "/data/bin/b.dll.diff", "wait 600\nexit 7\n");
    WriteList(patch + "/patchedFiles.txt", {slowFine, slowFailing, fast, already, damaged});
    const auto before = TreeOf(install);

    EXPECT_FALSE(Apply());
    workers.reset();
    EXPECT_EQ(reporter.lines,
              (std::vector<Message>{
                  {3, "An unknown error (7) occurred while patching file bin\\b.dll"}}));
    EXPECT_EQ(TreeOf(install), before);
    ExpectNoLeftovers();
}

TEST_F(ApplyPatchDirectoryTest, ShouldContinueFalseMidStageRollsBack) {
    MakeMixedPatch();
    const auto before = TreeOf(install);
    reporter.goOnCount = 2;  // both added files, then no to the deleted one
    EXPECT_FALSE(Apply());
    EXPECT_EQ(TreeOf(install), before);
    EXPECT_TRUE(reporter.lines.empty());
    ExpectNoLeftovers();
}

TEST_F(ApplyPatchDirectoryTest, ToolExitCodes) {
    InstallTool("orbpatchl-w32.exe");
    const std::pair<const char*, std::string> cases[] = {
        {"exit 1", "Not enough Argument Specified to patch the file"},
        {"exit 2", "Could not open data file sub\\t.dll for reading."},
        {"exit 3", "Could not open patch file sub\\t.dll for reading."},
        {"exit 4", "Could not open output file for writing."},
        {"exit 7", "An unknown error (7) occurred while patching file sub\\t.dll"},
#ifdef _WIN32
        // The access violation's exception code is the exit code there.
        {"crash", "An unknown error (-1073741819) occurred while patching file sub\\t.dll"},
#else
        {"crash", "An unknown error (139) occurred while patching file sub\\t.dll"},
#endif
    };
    for (const auto& [command, message] : cases) {
        SCOPED_TRACE(command);
        reporter.lines.clear();
        WriteFile(install + "/sub/t.dll", "t1");
        WriteFile(patch + "/data/sub/t.dll.diff", std::string(command) + "\n");
        WriteList(patch + "/patchedFiles.txt", {{"sub\\t.dll", Md5Of("t2"), Md5Of("t1")}});
        EXPECT_FALSE(Apply());
        EXPECT_EQ(reporter.lines, (std::vector<Message>{{3, message}}));
        EXPECT_EQ(ReadFile(install + "/sub/t.dll"), "t1");
        ExpectNoLeftovers();
    }

    // A difference file that is not there: the tool's own exit code 3.
    reporter.lines.clear();
    std::filesystem::remove(patch + "/data/sub/t.dll.diff");
    EXPECT_FALSE(Apply());
    EXPECT_EQ(reporter.lines,
              (std::vector<Message>{{3, "Could not open patch file sub\\t.dll for reading."}}));
    EXPECT_EQ(ReadFile(install + "/sub/t.dll"), "t1");
}

TEST_F(ApplyPatchDirectoryTest, MissingToolIsAFailedCommand) {
    MakeMixedPatch();
    std::filesystem::remove(install + "/bin/orbpatchl-w32.exe");
    const ListEntry patched = PatchedEntry("bin/engine.dll", "engine v1", "engine v2");
    WriteList(patch + "/patchedFiles.txt", {patched});
    const auto before = TreeOf(install);
    EXPECT_FALSE(Apply());
    EXPECT_EQ(TreeOf(install), before);
    const std::string bin = install + "/bin/";
    EXPECT_EQ(
        reporter.lines,
        (std::vector<Message>{{1, "Failed patch command: \"" + bin + "orbpatchl-w32.exe\" \"" +
                                      bin + "engine.dll.pbk\" \"" + patch +
                                      "/data/bin/engine.dll.diff\" \"" + bin + "engine.dll\""}}));
}

TEST_F(ApplyPatchDirectoryTest, AssetFilesGoToTheConverterWhenItIsThere) {
    InstallTool("orbpatchl-w32.exe");
    // Digests that match nothing: only the patch tool looks at them.
    WriteFile(install + "/maps/m.oa", "map v1");
    WriteFile(patch + "/data/maps/m-diff.oa", "replace\nmap v2");
    WriteFile(install + "/maps/m.oa.oa", "double v1");
    WriteFile(patch + "/data/maps/m.oa.oa.diff", "replace\ndouble v2");
    WriteList(patch + "/patchedFiles.txt",
              {{"maps\\m.oa", Md5Of("?"), Md5Of("?")},
               {"maps\\m.oa.oa", Md5Of("double v2"), Md5Of("double v1")}});

    EXPECT_FALSE(Apply()) << "no converter: m.oa is checked by digest";
    EXPECT_EQ(reporter.lines,
              (std::vector<Message>{{3, "Existing file is damaged and cannot be patched: " +
                                            install + "/maps/m.oa"}}));

    InstallTool("OrbAConverter.exe");
    reporter.lines.clear();
    ASSERT_TRUE(Apply());
    EXPECT_EQ(ReadFile(install + "/maps/m.oa"), "map v2");
    EXPECT_EQ(ReadFile(install + "/maps/m.oa.oa"), "double v2");
    const std::string bin = install + "/bin";
    EXPECT_EQ(ToolCalls(), (std::vector<std::string>{
                               bin + "|patchapply|" + install + "/maps/m.oa.pbk|" + patch +
                                   "/data/maps/m-diff.oa|" + install + "/maps/m.oa",
                               bin + "|" + install + "/maps/m.oa.oa.pbk|" + patch +
                                   "/data/maps/m.oa.oa.diff|" + install + "/maps/m.oa.oa"}));

    reporter.lines.clear();
    WriteFile(patch + "/data/maps/m-diff.oa", "exit 1\n");
    WriteList(patch + "/patchedFiles.txt", {{"maps\\m.oa", "", ""}});
    EXPECT_FALSE(Apply());
    EXPECT_EQ(
        reporter.lines,
        (std::vector<Message>{{3, "Failed to patch maps\\m.oa, file contents do not match"}}));
    EXPECT_EQ(ReadFile(install + "/maps/m.oa"), "map v2");
}

TEST_F(ApplyPatchDirectoryTest, DeletedFilesAlreadyGoneAreNoFailure) {
    WriteList(patch + "/deletedFiles.txt", {{"old\\gone.txt", "", ""}});
    EXPECT_TRUE(Apply());
    EXPECT_EQ(reporter.lines,
              (std::vector<Message>{
                  {2, "File seems to have been removed already: " + install + "/old/gone.txt"}}));
}

TEST_F(ApplyPatchDirectoryTest, BadListsAreRefusedBeforeAnythingIsTouched) {
    MakeMixedPatch();
    const auto before = TreeOf(install);
    const std::pair<std::vector<ListEntry>, std::string> lists[] = {
        {{{"\\etc\\passwd", "", ""}},
         "The patch list names a file outside the installation "
         "folder: \\etc\\passwd"},
        {{{"/etc/passwd", "", ""}},
         "The patch list names a file outside the installation "
         "folder: /etc/passwd"},
        {{{"data\\..\\..\\x.txt", "", ""}},
         "The patch list names a file outside the "
         "installation folder: data\\..\\..\\x.txt"},
        {{{"C:\\Windows\\x.dll", "", ""}},
         "The patch list names a file outside the "
         "installation folder: C:\\Windows\\x.dll"},
        {{{".patch-journal", "", ""}},
         "The patch list names a file outside the "
         "installation folder: .patch-journal"},
        {{{".patch-temporaries", "", ""}},
         "The patch list names a file outside the "
         "installation folder: .patch-temporaries"},
        {{{"gone\\dead.txt", "", ""}},
         "The patch lists name a file more than once: "
         "gone\\dead.txt"},
    };
    for (const auto& [patched, message] : lists) {
        SCOPED_TRACE(message);
        reporter.lines.clear();
        WriteList(patch + "/patchedFiles.txt", patched);
        EXPECT_FALSE(Apply());
        EXPECT_EQ(reporter.lines, (std::vector<Message>{{3, message}}));
        EXPECT_EQ(TreeOf(install), before);
    }

    reporter.lines.clear();
    WriteFile(patch + "/patchedFiles.txt", "a.dll\r\n" + Md5Of("a") + "\r\n");
    EXPECT_FALSE(Apply());
    EXPECT_EQ(reporter.lines,
              (std::vector<Message>{{3,
                                     "The patch list is damaged (its lines do not make whole "
                                     "entries): " +
                                         patch + "/patchedFiles.txt"}}));
    EXPECT_EQ(TreeOf(install), before);
    EXPECT_TRUE(reporter.totals.empty());
}

// A patch that names a backup would have its file dropped as a stale backup, or put back
// over the file the backup was made of; it is refused whatever the other lists hold.
TEST_F(ApplyPatchDirectoryTest, ANameOfABackupIsRefused) {
    WriteFile(install + "/docs/file0004.dat", "original");
    WriteFile(patch + "/data/docs/file0004.dat", "new");
    WriteFile(patch + "/data/docs/file0004.dat.pbk", "added");
    const auto before = TreeOf(install);
    const ListEntry backup{"docs\\file0004.dat.pbk", "", ""};
    const ListEntry file{"docs\\file0004.dat", "", ""};
    for (const auto& [added, deleted] :
         {std::pair{std::vector{backup, file}, std::vector<ListEntry>{}},
          std::pair{std::vector{file, backup}, std::vector<ListEntry>{}},
          std::pair{std::vector{backup}, std::vector{file}},
          std::pair{std::vector{file}, std::vector{ListEntry{"docs\\FILE0004.DAT.Pbk", "", ""}}}}) {
        reporter.lines.clear();
        WriteList(patch + "/addedFiles.txt", added);
        WriteList(patch + "/deletedFiles.txt", deleted);
        EXPECT_FALSE(Apply());
        ASSERT_EQ(reporter.lines.size(), 1u);
        EXPECT_TRUE(reporter.lines[0].second.starts_with("The patch list names a backup file"));
        EXPECT_EQ(TreeOf(install), before);
    }
}

// The user's link of a folder to another disk is followed; a link planted at a file's own name
// is moved aside and replaced, never written through, and comes back on rollback.
TEST_F(ApplyPatchDirectoryTest, LinksAreFollowedOnlyAsFoldersOnTheWay) {
#ifdef _WIN32
    GTEST_SKIP() << "makes symbolic links, which this Windows runtime cannot";
#endif
    namespace fs = std::filesystem;
    const std::string outside = root / "outside";
    fs::create_directories(outside + "/bigdisk");
    WriteFile(outside + "/real.dll", "real");
    fs::create_directory_symlink(outside + "/bigdisk", install + "/docs");
    fs::create_symlink(outside + "/victim.txt", install + "/docs/readme.txt");
    fs::create_symlink(outside + "/real.dll", install + "/x.dll");
    for (const char* name : {"docs/readme.txt", "docs/new.txt", "x.dll", "z.txt"})
        WriteFile(patch + "/data/" + name, std::string("patched ") + name);
    std::vector<ListEntry> added = {{"docs\\readme.txt", "", ""},
                                    {"docs\\new.txt", "", ""},
                                    {"x.dll", "", ""},
                                    {"z.txt", "", ""}};

    WriteList(patch + "/addedFiles.txt", added);
    reporter.goOnCount = 3;  // the fourth entry is stopped: all is undone
    EXPECT_FALSE(Apply());
    EXPECT_EQ(fs::read_symlink(install + "/docs/readme.txt"), outside + "/victim.txt");
    EXPECT_EQ(fs::read_symlink(install + "/x.dll"), outside + "/real.dll");
    EXPECT_FALSE(fs::exists(outside + "/bigdisk/new.txt"));

    reporter.goOnCount = -1;
    added.pop_back();
    WriteList(patch + "/addedFiles.txt", added);
    EXPECT_TRUE(Apply());
    EXPECT_FALSE(fs::is_symlink(install + "/docs/readme.txt"));
    EXPECT_FALSE(fs::is_symlink(install + "/x.dll"));
    EXPECT_EQ(ReadFile(install + "/x.dll"), "patched x.dll");
    EXPECT_EQ(ReadFile(outside + "/bigdisk/readme.txt"), "patched docs/readme.txt");
    EXPECT_EQ(ReadFile(outside + "/bigdisk/new.txt"), "patched docs/new.txt");
    EXPECT_FALSE(fs::exists(fs::symlink_status(outside + "/victim.txt")));
    EXPECT_EQ(ReadFile(outside + "/real.dll"), "real");
    ExpectNoLeftovers();
}

TEST_F(ApplyPatchDirectoryTest, RestoreProblemsAreReportedAndKeepTheBackup) {
    InstallTool("orbpatchl-w32.exe");
    WriteFile(install + "/t.dll", "t1");
    WriteFile(patch + "/data/t.dll.diff", "block-output\n");
    WriteList(patch + "/patchedFiles.txt", {{"t.dll", Md5Of("t2"), Md5Of("t1")}});
    EXPECT_FALSE(Apply());
    EXPECT_EQ(MessagesAtLeast(3),
              (std::vector<Message>{{3, "An unknown error (7) occurred while patching file t.dll"},
                                    {3, "Failed to restore backup file " + install + "/t.dll"}}));
    // The user's file survives in its backup, and the journal still names it.
    EXPECT_EQ(ReadFile(install + "/t.dll.pbk"), "t1");
    EXPECT_TRUE(ZephTest::Exists(install + "/.patch-journal"));

    // While it stays, nothing else is touched.
    reporter.lines.clear();
    EXPECT_FALSE(Apply());
    EXPECT_EQ(
        reporter.lines,
        (std::vector<Message>{
            {3, "Failed to restore backup file " + install + "/t.dll"},
            {3, "An interrupted patch could not be undone; nothing was changed in: " + install}}));
    EXPECT_EQ(ReadFile(install + "/t.dll.pbk"), "t1");

    // Once the obstacle is gone, the next application puts the file back first.
    std::filesystem::remove_all(install + "/t.dll");
    reporter.lines.clear();
    WriteFile(patch + "/data/t.dll.diff", "replace\nt2");
    EXPECT_TRUE(Apply());
    EXPECT_EQ(reporter.lines,
              (std::vector<Message>{{2, "An interrupted patch was undone in: " + install}}));
    EXPECT_EQ(ReadFile(install + "/t.dll"), "t2");
    ExpectNoLeftovers();
}

}  // namespace
}  // namespace ZephPatch
