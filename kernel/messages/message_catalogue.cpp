#include "kernel/messages/message_catalogue.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string_view>

#include "kernel/messages/message_table.h"
#include "kernel/system/text.h"

namespace ZephPatch {
namespace {

std::atomic<uint16_t> g_messageLanguage{LANGUAGE_NEUTRAL};

const StringBlock* FindBlock(uint16_t language, int number) {
    for (size_t i = 0; i < g_stringBlockCount; ++i)
        if (g_stringBlocks[i].language == language && g_stringBlocks[i].number == number)
            return &g_stringBlocks[i];
    return nullptr;
}

// Walks the block's entries up to the id's; empty when the block or the entry is missing or
// the block ends early.
std::u16string_view EntryOf(uint16_t language, int id) {
    const StringBlock* block = FindBlock(language, id / 16 + 1);
    if (!block)
        return {};
    size_t pos = 0;
    for (int entry = 0; entry < 16 && pos < block->size; ++entry) {
        const size_t count = block->data[pos++];
        if (count > block->size - pos)
            return {};
        if (entry == id % 16)
            return {block->data + pos, count};
        pos += count;
    }
    return {};
}

}  // namespace

void SetMessageLanguage(uint16_t language) {
    g_messageLanguage.store(language);
}

uint16_t GetMessageLanguage() {
    return g_messageLanguage.load();
}

uint16_t LanguageFromLocale() {
    const char* locale = nullptr;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = std::getenv(name);
        if (locale && *locale)
            break;
    }
    if (!locale)
        return LANGUAGE_ENGLISH;
    const std::string_view value = locale;
    // "de", "de_DE", "de_DE.UTF-8", "de@euro": the language is what precedes _ . @
    const std::string_view code = value.substr(0, value.find_first_of("_.@"));
    if (code == "de")
        return LANGUAGE_GERMAN;
    if (code == "fr")
        return LANGUAGE_FRENCH;
    if (code == "ru")
        return LANGUAGE_RUSSIAN;
    return LANGUAGE_ENGLISH;
}

std::u16string LoadMessageU16(int id) {
    if (id < 0 || id > 0xFFFF)
        return {};
    const uint16_t language = GetMessageLanguage();
    if (language != LANGUAGE_NEUTRAL)
        return std::u16string(EntryOf(language, id));
    std::u16string_view text = EntryOf(LanguageFromLocale(), id);
    if (text.empty())
        text = EntryOf(LANGUAGE_ENGLISH, id);
    return std::u16string(text);
}

std::string LoadMessage(int id) {
    return ZephUtil::Utf16ToUtf8(LoadMessageU16(id));
}

char16_t* LoadMessageInto(int id, char16_t* buffer, size_t capacity) {
    const std::u16string text = LoadMessageU16(id);
    const size_t count = std::min(text.size(), capacity - 1);
    std::copy_n(text.data(), count, buffer);
    buffer[count] = u'\0';
    return buffer;
}

}  // namespace ZephPatch
