#include "apply/patch_catalogue.h"

#include <gtest/gtest.h>

namespace ZephPatch {
namespace {

const std::string kBase = "http://patches.example.com/velmor";

std::string Record(const std::string& source, const std::string& target, const std::string& dataUrl,
                   const std::string& end = "\r\n") {
    return "source-version: " + source + end + "target-version: " + target + end +
           "patch-exe-url: http://patches.example.com/setup.exe" + end +
           "patch-data-url: " + dataUrl + end;
}

std::string TargetOf(const PatchCatalogue& catalogue, const std::string& source) {
    const PatchCatalogueEntry* entry = catalogue.FindPatch(source);
    return entry ? entry->targetVersion : "<none>";
}

TEST(PatchCatalogueTest, RecordsMakeEntriesByTheirSourceBuild) {
    PatchCatalogue catalogue;
    ASSERT_TRUE(catalogue.ParseCatalogue(Record("46957", "48249", "46957_to_48249.zip") + "\r\n" +
                                             Record("48249", "50001", "ftp://files/b.zip"),
                                         kBase));
    ASSERT_EQ(catalogue.Entries().size(), 2u);
    const PatchCatalogueEntry* first = catalogue.FindPatch("46957");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->targetVersion, "48249");
    EXPECT_EQ(first->patchExeUrl, "http://patches.example.com/setup.exe");
    EXPECT_EQ(first->patchDataUrl, kBase + "/46957_to_48249.zip");
    EXPECT_EQ(catalogue.FindPatch("48249")->patchDataUrl, "ftp://files/b.zip");
    EXPECT_EQ(catalogue.FindPatch("50001"), nullptr);
    EXPECT_EQ(catalogue.FindPatch("4695"), nullptr);
    // Parsing leaves the server base to the loader.
    EXPECT_EQ(catalogue.ServerBaseUrl(), "");
}

TEST(PatchCatalogueTest, LineEnds) {
    // LF CR is one line end like CR LF; the last line needs none.
    PatchCatalogue lfcr;
    EXPECT_TRUE(lfcr.ParseCatalogue(
        Record("1", "2", "a.zip", "\n\r") + "\n\r" + Record("3", "4", "b.zip", "\n\r"), kBase));
    EXPECT_EQ(lfcr.Entries().size(), 2u);
    PatchCatalogue noEnd;
    std::string text = Record("1", "2", "a.zip", "\n");
    text.pop_back();
    EXPECT_TRUE(noEnd.ParseCatalogue(text, kBase));
    EXPECT_EQ(noEnd.FindPatch("1")->patchDataUrl, kBase + "/a.zip");
    // CR CR and LF LF make an empty line, which ends a record; CR LF twice too.
    for (const char* separator : {"\r\r", "\n\n", "\r\n\r\n", "\n\r\n", "\r\n\r"}) {
        PatchCatalogue split;
        const std::string two = "source-version: 1" + std::string(separator) +
                                "target-version: 2\npatch-exe-url: x\npatch-data-url: a.zip\n";
        EXPECT_FALSE(split.ParseCatalogue(two, kBase)) << "separator " << separator[0];
    }
    // Within a record, CR LF and LF CR alone never separate.
    for (const char* end : {"\r\n", "\n\r", "\r", "\n"}) {
        PatchCatalogue one;
        EXPECT_TRUE(one.ParseCatalogue(Record("1", "2", "a.zip", end), kBase));
    }
}

TEST(PatchCatalogueTest, LinesOfSpacesBelongToTheRecordAndOnlySpacesAreTrimmed) {
    PatchCatalogue catalogue;
    EXPECT_TRUE(
        catalogue.ParseCatalogue("\n\n   source-version:   46957  \n    \n target-version :48249\n"
                                 "patch-exe-url: x\n  patch-data-url: a.zip\n",
                                 kBase));
    EXPECT_EQ(TargetOf(catalogue, "46957"), "48249");
    PatchCatalogue tabs;
    EXPECT_TRUE(tabs.ParseCatalogue(Record("\t46957", "48249", "a.zip"), kBase));
    EXPECT_EQ(tabs.FindPatch("46957"), nullptr);
    EXPECT_EQ(TargetOf(tabs, "\t46957"), "48249");
}

TEST(PatchCatalogueTest, KeysIgnoreCaseValuesKeepItAndQuotesComeOff) {
    PatchCatalogue catalogue;
    EXPECT_TRUE(catalogue.ParseCatalogue(
        "Source-Version: \"Build-A\"\nTARGET-version:Build-B\nPatch-Exe-Url: \"\nX-Other: 1\n"
        "patch-data-url: \"Dir/A.zip\"\n",
        kBase));
    const PatchCatalogueEntry* entry = catalogue.FindPatch("Build-A");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->targetVersion, "Build-B");
    EXPECT_EQ(entry->patchExeUrl, "\"");
    EXPECT_EQ(entry->patchDataUrl, kBase + "/Dir/A.zip");
    EXPECT_EQ(catalogue.FindPatch("build-a"), nullptr);
}

TEST(PatchCatalogueTest, SplitAtTheFirstColonAndTheLastValueCounts) {
    PatchCatalogue catalogue;
    EXPECT_TRUE(catalogue.ParseCatalogue(
        "source-version: 1\ntarget-version: 2\ntarget-version: 3\npatch-exe-url: a:b:c\n"
        "patch-data-url: http://host:8080/x.zip\n",
        kBase));
    EXPECT_EQ(TargetOf(catalogue, "1"), "3");
    EXPECT_EQ(catalogue.FindPatch("1")->patchExeUrl, "a:b:c");
    EXPECT_EQ(catalogue.FindPatch("1")->patchDataUrl, "http://host:8080/x.zip");
}

TEST(PatchCatalogueTest, ALaterRecordForTheSameBuildWins) {
    PatchCatalogue catalogue;
    EXPECT_TRUE(catalogue.ParseCatalogue(
        Record("1", "2", "old.zip") + "\n" + Record("1", "5", "new.zip"), kBase));
    EXPECT_EQ(TargetOf(catalogue, "1"), "5");
    EXPECT_EQ(catalogue.FindPatch("1")->patchDataUrl, kBase + "/new.zip");
    EXPECT_TRUE(catalogue.ParseCatalogue(Record("1", "7", "newer.zip"), kBase));
    EXPECT_EQ(TargetOf(catalogue, "1"), "7");
}

TEST(PatchCatalogueTest, InvalidRecordsAreDroppedAlone) {
    const std::string good = Record("9", "10", "good.zip");
    const std::string bad[] = {
        "source-version: 1\nno colon here\ntarget-version: 2\npatch-exe-url: x\n"
        "patch-data-url: a.zip\n",
        "source-version: 1\ntarget-version: 2\npatch-data-url: a.zip\n",
        "source-version: 1\ntarget-version:\npatch-exe-url: x\npatch-data-url: a.zip\n",
        "source-version: 1\ntarget-version: \"\"\npatch-exe-url: x\npatch-data-url: a.zip\n",
        // Builds name the temporary archive: none may lead out of its folder.
        Record("../../etc", "2", "a.zip"),
        Record("1", "..\\..\\x", "a.zip"),
        Record("1", "a/b", "a.zip"),
    };
    for (const std::string& record : bad) {
        PatchCatalogue catalogue;
        EXPECT_FALSE(catalogue.ParseCatalogue(record, kBase)) << record;
        EXPECT_TRUE(catalogue.ParseCatalogue(record + "\n" + good, kBase)) << record;
        EXPECT_EQ(catalogue.Entries().size(), 1u) << record;
    }
    PatchCatalogue empty;
    EXPECT_FALSE(empty.ParseCatalogue("\r\n\n\r\r\n", kBase));
    EXPECT_FALSE(empty.ParseCatalogue("", kBase));
}

TEST(PatchCatalogueTest, AbsoluteAndRelativeDataUrls) {
    struct Case {
        std::string base, value, expected;  // expected empty: dropped
    };
    const Case cases[] = {
        {kBase, "HTTP://mirror/a.zip", "HTTP://mirror/a.zip"},
        {kBase, "Ftp://mirror/a.zip", "Ftp://mirror/a.zip"},
        {kBase, "https://mirror/a.zip", "https://mirror/a.zip"},
        {kBase, "builds\\46957\\a.zip", kBase + "/builds/46957/a.zip"},
        {kBase + "/", "a.zip", kBase + "/a.zip"},
        {"ftp://files\\", "a.zip", "ftp://files\\a.zip"},
        {"", "a.zip", ""},
        {"", "http://mirror/a.zip", "http://mirror/a.zip"},
    };
    for (const Case& c : cases) {
        PatchCatalogue catalogue;
        const bool stored = catalogue.ParseCatalogue(Record("1", "2", c.value), c.base);
        EXPECT_EQ(stored, !c.expected.empty()) << c.value;
        if (stored) {
            EXPECT_EQ(catalogue.FindPatch("1")->patchDataUrl, c.expected) << c.value;
        }
    }
}

// What a signed catalogue vouches for is kept only in a form that can be checked.
TEST(PatchCatalogueTest, ArchiveSizeAndDigestWhenWellFormed) {
    const std::string digest = std::string(62, 'a') + "0F";
    PatchCatalogue catalogue;
    ASSERT_TRUE(catalogue.ParseCatalogue(
        Record("1", "2", "a.zpa") + "Patch-Data-Size: 4096\r\npatch-data-sha256: " + digest +
            "\r\n\r\n" + Record("2", "3", "b.zpa") + "patch-data-size: -1\r\n" +
            "patch-data-sha256: " + digest.substr(1) + "g\r\n\r\n" + Record("3", "4", "c.zpa") +
            "patch-data-size: 99999999999999999999\r\npatch-data-sha256: " + digest + "0\r\n",
        kBase));
    const PatchCatalogueEntry* vouched = catalogue.FindPatch("1");
    EXPECT_EQ(vouched->patchDataSize, 4096u);
    ASSERT_TRUE(vouched->patchDataSha256);
    EXPECT_EQ(Sha256Hex(*vouched->patchDataSha256), std::string(62, 'a') + "0f");
    for (const char* malformed : {"2", "3"}) {
        EXPECT_FALSE(catalogue.FindPatch(malformed)->patchDataSize) << malformed;
        EXPECT_FALSE(catalogue.FindPatch(malformed)->patchDataSha256) << malformed;
    }
}

}  // namespace
}  // namespace ZephPatch
