// Build-time tool: turns the readable message source into the string blocks the catalogue
// walks, as a C++ source file.
//
//   message_table_gen messages.txt out.cpp
//
// Source format, one text per line: "<id> <language> <text>", language one of en de fr ru.
// The text runs to the end of the line; escapes \n, \t, \\ and \" are decoded; a text wrapped
// in double quotes loses them (for texts with leading or trailing blanks). Blank lines and
// lines starting with '#' are ignored. Any malformed line fails the build.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <utility>

#include "kernel/system/text.h"

namespace {

const std::map<std::string, uint16_t> kLanguages = {
    {"en", 9}, {"de", 1031}, {"fr", 1036}, {"ru", 1049}};

bool Decode(const std::string& raw, std::string* text, std::string* error) {
    std::string body = raw;
    if (body.size() >= 2 && body.front() == '"' && body.back() == '"')
        body = body.substr(1, body.size() - 2);
    text->clear();
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\') {
            *text += body[i];
            continue;
        }
        if (++i == body.size()) {
            *error = "lone backslash at the end";
            return false;
        }
        switch (body[i]) {
            case 'n':
                *text += '\n';
                break;
            case 't':
                *text += '\t';
                break;
            case '\\':
                *text += '\\';
                break;
            case '"':
                *text += '"';
                break;
            default:
                *error = std::string("unknown escape \\") + body[i];
                return false;
        }
    }
    return true;
}

using Table = std::map<std::pair<uint16_t, int>, std::u16string>;  // (language, id) -> text

bool ParseSource(std::istream& in, const std::string& name, Table* table) {
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        auto fail = [&](const std::string& why) {
            std::cerr << name << ":" << number << ": " << why << "\n";
            return false;
        };
        std::istringstream fields(line);
        int id = -1;
        std::string language;
        if (!(fields >> id) || id < 0 || id > 0xFFFF)
            return fail("bad message id");
        if (!(fields >> language) || !kLanguages.count(language))
            return fail("bad language");
        std::string raw;
        if (fields.get() == ' ')
            std::getline(fields, raw);
        std::string text, error;
        if (!Decode(raw, &text, &error))
            return fail(error);
        const std::u16string wide = ZephUtil::Utf8ToUtf16(text);
        if (ZephUtil::Utf16ToUtf8(wide) != text)
            return fail("text is not valid UTF-8");
        if (wide.empty())
            return fail("empty text: leave the id out instead");
        if (wide.size() > 0xFFFF)
            return fail("text too long");
        if (!table->emplace(std::make_pair(kLanguages.at(language), id), wide).second)
            return fail("id given twice for this language");
    }
    return true;
}

// Blocks per language: block number -> 16 entries.
std::map<std::pair<uint16_t, int>, std::u16string> BuildBlocks(const Table& table) {
    std::map<std::pair<uint16_t, int>, std::map<int, std::u16string>> entries;
    for (const auto& [key, text] : table)
        entries[{key.first, key.second / 16 + 1}][key.second % 16] = text;
    std::map<std::pair<uint16_t, int>, std::u16string> blocks;
    for (const auto& [key, slots] : entries) {
        std::u16string& data = blocks[key];
        for (int slot = 0; slot < 16; ++slot) {
            const auto it = slots.find(slot);
            const std::u16string text = it == slots.end() ? std::u16string() : it->second;
            data += static_cast<char16_t>(text.size());
            data += text;
        }
    }
    return blocks;
}

void WriteSource(std::ostream& out,
                 const std::map<std::pair<uint16_t, int>, std::u16string>& blocks) {
    out << "// Generated from app/resources/messages.txt by message_table_gen. Do not edit.\n"
           "#include \"kernel/messages/message_table.h\"\n\nnamespace ZephPatch {\nnamespace {\n";
    for (const auto& [key, data] : blocks) {
        out << "const char16_t kBlock_" << key.first << "_" << key.second << "[] = {";
        for (size_t i = 0; i < data.size(); ++i) {
            if (i % 12 == 0)
                out << "\n   ";
            char unit[10];
            std::snprintf(unit, sizeof unit, " 0x%04x,", static_cast<unsigned>(data[i]));
            out << unit;
        }
        out << "\n};\n";
    }
    out << "}  // namespace\n\nconst StringBlock g_stringBlocks[] = {\n";
    for (const auto& [key, data] : blocks)
        out << "    {" << key.first << ", " << key.second << ", kBlock_" << key.first << "_"
            << key.second << ", " << data.size() << "},\n";
    out << "};\nconst size_t g_stringBlockCount = " << blocks.size()
        << ";\n\n}  // namespace ZephPatch\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: message_table_gen MESSAGES.txt OUT.cpp\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << argv[1] << ": cannot open\n";
        return 1;
    }
    Table table;
    if (!ParseSource(in, argv[1], &table))
        return 1;
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    WriteSource(out, BuildBlocks(table));
    out.close();
    if (!out) {
        std::cerr << argv[2] << ": cannot write\n";
        return 1;
    }
    return 0;
}
