#include "kernel/messages/message_catalogue.h"

#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "kernel/system/text.h"
#include "tests/support/test_folder.h"

namespace {

using namespace ZephPatch;
using orvik_test::ScopedEnv;

const std::vector<uint16_t> kLanguages = {LANGUAGE_ENGLISH, LANGUAGE_GERMAN, LANGUAGE_FRENCH,
                                          LANGUAGE_RUSSIAN};

// Ids 121 to 255 without those that have no entry, and this system's wording of three of them.
std::vector<int> IdsWithText() {
    const std::set<int> none = {133, 155, 156, 180, 182, 183, 186, 245, 246,
                                247, 248, 249, 250, 251, 252, 253, 254};
    std::vector<int> ids;
    for (int id = 121; id <= 255; ++id)
        if (!none.count(id))
            ids.push_back(id);
    ids.insert(ids.end(), {300, 301, 302});
    return ids;
}

class CatalogueTest : public ::testing::Test {
protected:
    void TearDown() override { SetMessageLanguage(LANGUAGE_NEUTRAL); }

    // The locale of a German user, whatever the machine's.
    ScopedEnv m_all{"LC_ALL", nullptr};
    ScopedEnv m_messages{"LC_MESSAGES", nullptr};
    ScopedEnv m_lang{"LANG", "de_DE.UTF-8"};
};

TEST_F(CatalogueTest, EveryIdHasATextInEveryLanguageExcept233InGerman) {
    for (uint16_t language : kLanguages) {
        SetMessageLanguage(language);
        for (int id : IdsWithText()) {
            const bool expected = !(id == 233 && language == LANGUAGE_GERMAN);
            EXPECT_EQ(!LoadMessageU16(id).empty(), expected)
                << "id " << id << " language " << language;
            EXPECT_LT(LoadMessageU16(id).size(), MESSAGE_BUFFER_SIZE) << "id " << id;
        }
        for (int id : {0, 120, 133, 155, 186, 245, 254, 256, 1000, -1, 70000})
            EXPECT_EQ(LoadMessage(id), "") << "id " << id;
    }
}

TEST_F(CatalogueTest, EnglishTextsAreTheProgramsOwn) {
    SetMessageLanguage(LANGUAGE_ENGLISH);
    EXPECT_EQ(LoadMessage(121), "print usage");
    EXPECT_EQ(LoadMessage(131), " to ");
    EXPECT_EQ(LoadMessage(151), "Patching from %s to %s...\n");
    EXPECT_EQ(LoadMessage(152), "\nFailed to apply the patch: ");
    EXPECT_EQ(LoadMessage(165), "ManualPatchPath:      ");
    EXPECT_EQ(LoadMessage(132),
              "Either the current Windows user account does not have sufficient privileges to "
              "install the patch or the Velmor files are in use.\nPlease login with "
              "Administrative access, ensure that all instances of Velmor are closed, and try "
              "again.");
    // The fixed constants and the table agree wherever both exist.
    // clang-format off
    const std::vector<std::pair<int, const char*>> fixed = {
        {190, MSG_APPLY_UPDATE}, {191, MSG_CANCEL}, {192, MSG_EXIT}, {193, MSG_CONFIRM_CANCEL},
        {194, MSG_CANCELLING}, {195, MSG_BROWSE_NEW_VERSION},
        {196, MSG_CANNOT_OPEN_PATCH_FOR_WRITING}, {197, MSG_CANNOT_DOWNLOAD_PATCH},
        {198, MSG_NO_PATCH_SERVER}, {199, MSG_SUCCESS_SUFFIX}, {200, MSG_FAILED_SUFFIX},
        {201, MSG_CANNOT_CREATE_DIRECTORY}, {202, MSG_DIFF_COMMAND},
        {203, MSG_CANNOT_CREATE_PROCESS}, {204, MSG_BZIP2_COMMAND}, {205, MSG_ARCHIVE_COMMAND},
        {206, MSG_THE_FILE}, {207, MSG_NOT_OPENED_FOR_WRITING}, {208, MSG_IDENTICAL},
        {209, MSG_CHECKSUM}, {210, MSG_PATCHING}, {212, MSG_TO_BE_ADDED}, {213, MSG_TO_BE_DELETED},
        {214, MSG_CANNOT_WRITE_FILE}, {215, MSG_PROPERLY}, {216, MSG_ADDING},
        {217, MSG_FAILED_ADDING}, {218, MSG_REMOVING}, {219, MSG_CANNOT_DELETE},
        {220, MSG_ALREADY_REMOVED}, {221, MSG_CANNOT_COPY_FILE}, {222, MSG_CHECKSUM_FAILED},
        {223, MSG_ALREADY_PATCHED}, {224, MSG_FILE_DAMAGED}, {225, MSG_FAILED_CREATING_PROCESS},
        {226, MSG_FAILED_PATCH_COMMAND}, {227, MSG_NOT_ENOUGH_ARGUMENTS},
        {228, MSG_CANNOT_OPEN_DATA_FILE}, {229, MSG_CANNOT_OPEN_PATCH_FILE},
        {230, MSG_CANNOT_OPEN_OUTPUT_FILE}, {231, MSG_OK_FAILED_COUNTS}, {232, MSG_COULD_NOT_OPEN},
        {233, MSG_UNKNOWN_PATCH_ERROR}, {234, MSG_FOR_READING_MAYBE_MISSING},
        {235, MSG_CANNOT_DOWNLOAD_FILE}, {236, MSG_CANNOT_READ_CHECKSUMS},
        {237, MSG_REPLACE_MISSING}, {238, MSG_REPLACE_MODIFIED}, {239, MSG_ABORTING},
        {243, MSG_CANCEL_AFTER_PATCHES}, {244, MSG_NEEDS_SERVICE_PACK}, {255, MSG_NEEDS_DIRECTX},
    };
    // clang-format on
    for (const auto& [id, text] : fixed)
        EXPECT_EQ(LoadMessage(id), text) << "id " << id;
}

// Translations are formatted with the English arguments and glued to other texts, so their
// conversions and their leading and trailing blanks and line feeds must match English.
TEST_F(CatalogueTest, TranslationsKeepConversionsAndEdges) {
    // "%s", "%d", "%lu", "%5.2f"...: a '%' with its flags, width, precision, length and letter.
    auto conversions = [](const std::string& text) {
        std::vector<std::string> found;
        for (size_t i = text.find('%'); i != std::string::npos; i = text.find('%', i)) {
            const size_t start = i++;
            while (i < text.size() &&
                   std::string_view("-+ #0123456789.lh").find(text[i]) != std::string_view::npos)
                ++i;
            found.push_back(text.substr(start, ++i - start));
        }
        return found;
    };
    for (int id : IdsWithText()) {
        SetMessageLanguage(LANGUAGE_ENGLISH);
        const std::string english = LoadMessage(id);
        for (uint16_t language : {LANGUAGE_GERMAN, LANGUAGE_FRENCH, LANGUAGE_RUSSIAN}) {
            SetMessageLanguage(language);
            const std::string text = LoadMessage(id);
            if (text.empty())
                continue;
            EXPECT_EQ(conversions(text), conversions(english)) << id << "/" << language;
            EXPECT_EQ(text.front() == ' ', english.front() == ' ') << id << "/" << language;
            EXPECT_EQ(text.front() == '\n', english.front() == '\n') << id << "/" << language;
            EXPECT_EQ(text.back() == ' ', english.back() == ' ') << id << "/" << language;
            EXPECT_EQ(text.back() == '\n', english.back() == '\n') << id << "/" << language;
        }
    }
}

TEST_F(CatalogueTest, NeutralFollowsTheLocaleAndFallsBackToEnglishPerEntry) {
    EXPECT_EQ(LanguageFromLocale(), LANGUAGE_GERMAN);
    EXPECT_EQ(LoadMessage(163), "Patchvorgang abgebrochen.");
    EXPECT_EQ(LoadMessage(233), MSG_UNKNOWN_PATCH_ERROR) << "no German entry: English";
    EXPECT_EQ(LoadMessage(133), "") << "no entry anywhere";
    EXPECT_STREQ(MSG_APPLY_UPDATE, "Apply Update") << "the button stays English";
    EXPECT_EQ(LoadMessage(190), "Update installieren");

    SetMessageLanguage(LANGUAGE_GERMAN);
    EXPECT_EQ(LoadMessage(233), "") << "an explicit language has no fallback";

    // The worker's switch: English from now on, whatever the locale.
    SetMessageLanguage(LANGUAGE_ENGLISH);
    EXPECT_EQ(LoadMessage(163), "Patching aborted.");
}

TEST_F(CatalogueTest, LocaleVariablesInTheirOrder) {
    struct Case {
        const char* all;
        const char* messages;
        const char* lang;
        uint16_t expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, "fr_CA.UTF-8", LANGUAGE_FRENCH},
        {nullptr, nullptr, "ru_RU.KOI8-R", LANGUAGE_RUSSIAN},
        {nullptr, nullptr, "de", LANGUAGE_GERMAN},
        {nullptr, nullptr, "de@euro", LANGUAGE_GERMAN},
        {nullptr, nullptr, "C", LANGUAGE_ENGLISH},
        {nullptr, nullptr, "POSIX", LANGUAGE_ENGLISH},
        {nullptr, nullptr, "es_ES.UTF-8", LANGUAGE_ENGLISH},
        {nullptr, nullptr, "deu", LANGUAGE_ENGLISH},
        {nullptr, nullptr, nullptr, LANGUAGE_ENGLISH},
        {nullptr, "ru_RU.UTF-8", "de_DE.UTF-8", LANGUAGE_RUSSIAN},
        {"fr_FR.UTF-8", "ru_RU.UTF-8", "de_DE.UTF-8", LANGUAGE_FRENCH},
        {"", "", "fr_FR.UTF-8", LANGUAGE_FRENCH},
        {"C", nullptr, "de_DE.UTF-8", LANGUAGE_ENGLISH},
    };
    for (const Case& c : cases) {
        ScopedEnv all("LC_ALL", c.all), messages("LC_MESSAGES", c.messages), lang("LANG", c.lang);
        EXPECT_EQ(LanguageFromLocale(), c.expected)
            << (c.all ? c.all : "-") << " " << (c.messages ? c.messages : "-") << " "
            << (c.lang ? c.lang : "-");
    }
    ScopedEnv lang("LANG", "ru_RU.UTF-8");
    EXPECT_EQ(LoadMessage(162), "Обновление завершено.");
}

TEST_F(CatalogueTest, LoadIntoABufferCutsAndTerminates) {
    SetMessageLanguage(LANGUAGE_ENGLISH);
    char16_t buffer[MESSAGE_BUFFER_SIZE];
    EXPECT_EQ(std::u16string(LoadMessageInto(134, buffer, MESSAGE_BUFFER_SIZE)),
              u"Requires Administrator Privileges");
    char16_t small[9];
    std::fill(std::begin(small), std::end(small), u'#');
    EXPECT_EQ(std::u16string(LoadMessageInto(134, small, 9)), u"Requires");
    EXPECT_EQ(std::u16string(LoadMessageInto(133, buffer, MESSAGE_BUFFER_SIZE)), u"");
}

}  // namespace

namespace {

// Translators edit messages.txt by hand: a slip must stop the build, not ship a wrong table.
TEST(MessageTableGenerator, RefusesMalformedSources) {
    orvik_test::TestFolder folder;
    const std::string generator = std::string(ORVIK_BINARY_DIR) + "/kernel/message_table_gen";
    auto generate = [&](const std::string& source) {
        orvik_test::WriteFile(folder / "messages.txt", source);
        const std::string command = generator + " " + (folder / "messages.txt") + " " +
                                    (folder / "out.cpp") + " 2>/dev/null";
        return std::system(command.c_str());
    };
    EXPECT_EQ(generate("# comment\n\n131 en \" to \"\n132 de a\\nb \\\"c\\\"\r\n"), 0);
    EXPECT_NE(generate("190 en Apply Update\n190 en Apply\n"), 0) << "duplicate";
    EXPECT_NE(generate("190 xx Apply Update\n"), 0) << "unknown language";
    EXPECT_NE(generate("190 en Apply\\q\n"), 0) << "unknown escape";
    EXPECT_NE(generate("190 en\n"), 0) << "empty text";
    EXPECT_NE(generate("70000 en Apply\n"), 0) << "id out of range";
    EXPECT_NE(generate("190 en \xff\xfe\n"), 0) << "not UTF-8";
}

}  // namespace
