#include "app/core/command_line.h"

#include <algorithm>

namespace ZephPatch {
namespace {

constexpr size_t kUsageColumns = 80;

// Breaks the synopsis before an item that would pass the last column; continuation lines are
// indented by `indent`.
std::string WrappedSynopsis(const std::string& synopsis, size_t indent) {
    std::string text, line;
    for (size_t from = 0; from < synopsis.size();) {
        size_t next = synopsis.find(" [", from + 1);
        if (next == std::string::npos)
            next = synopsis.size();
        const std::string item = synopsis.substr(from, next - from);
        if (!line.empty() && line.size() + item.size() > kUsageColumns) {
            text += line + "\n";
            line = std::string(indent - 1, ' ');  // each item starts with its blank
        }
        line += item;
        from = next;
    }
    return text + line;
}

}  // namespace

const CmdLineEntry* CmdLineParser::FindEntry(std::string_view name, bool isLong) const {
    if (name.empty())
        return nullptr;
    for (const CmdLineEntry& entry : m_entries) {
        if (entry.kind == CmdLineKind::kParam)
            continue;
        if ((isLong ? entry.longName : entry.shortName) == name)
            return &entry;
    }
    return nullptr;
}

size_t CmdLineParser::ParamLimit() const {
    return std::count_if(m_entries.begin(), m_entries.end(),
                         [](const CmdLineEntry& e) { return e.kind == CmdLineKind::kParam; });
}

bool CmdLineParser::Take(const CmdLineEntry& entry, std::string_view shown,
                         const std::string* inlineValue, const std::vector<std::string>& arguments,
                         size_t* index) {
    if (entry.kind == CmdLineKind::kSwitch) {
        if (inlineValue) {
            m_error = "Unexpected value for the switch '" + std::string(shown) + "'.";
            return false;
        }
        m_found.emplace_back(&entry, std::string());
        return true;
    }
    if (inlineValue) {
        m_found.emplace_back(&entry, *inlineValue);
        return true;
    }
    if (*index + 1 >= arguments.size()) {
        m_error = "Option '" + std::string(shown) + "' requires a value.";
        return false;
    }
    m_found.emplace_back(&entry, arguments[++*index]);
    return true;
}

bool CmdLineParser::ParseLong(const std::vector<std::string>& arguments, size_t* index) {
    const std::string body = arguments[*index].substr(2);
    const size_t equals = body.find('=');
    const std::string name = body.substr(0, equals);
    const CmdLineEntry* entry = FindEntry(name, true);
    if (!entry) {
        m_error = "Unknown long option '" + name + "'";
        return false;
    }
    const std::string value = equals == std::string::npos ? std::string() : body.substr(equals + 1);
    return Take(*entry, name, equals == std::string::npos ? nullptr : &value, arguments, index);
}

bool CmdLineParser::ParseShort(const std::vector<std::string>& arguments, size_t* index) {
    const std::string body = arguments[*index].substr(1);
    const size_t equals = body.find('=');
    const std::string name = body.substr(0, equals);
    if (const CmdLineEntry* entry = FindEntry(name, false)) {
        const std::string value =
            equals == std::string::npos ? std::string() : body.substr(equals + 1);
        return Take(*entry, name, equals == std::string::npos ? nullptr : &value, arguments, index);
    }
    // "-ad": every letter a switch of its own.
    if (equals == std::string::npos && name.size() > 1) {
        std::vector<const CmdLineEntry*> group;
        for (char letter : name) {
            const CmdLineEntry* entry = FindEntry(std::string(1, letter), false);
            if (!entry || entry->kind != CmdLineKind::kSwitch)
                break;
            group.push_back(entry);
        }
        if (group.size() == name.size()) {
            for (const CmdLineEntry* entry : group)
                m_found.emplace_back(entry, std::string());
            return true;
        }
    }
    m_error = "Unknown option '" + name + "'";
    return false;
}

bool CmdLineParser::Parse(const std::vector<std::string>& arguments) {
    m_found.clear();
    m_params.clear();
    m_error.clear();
    bool optionsEnded = false;
    bool ok = true;
    for (size_t i = 0; ok && i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument.starts_with("--")) {
            ok = ParseLong(arguments, &i);
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
            ok = ParseShort(arguments, &i);
        } else if (m_params.size() < ParamLimit()) {
            m_params.push_back(argument);
        } else {
            m_error = "Unexpected parameter '" + argument + "'";
            ok = false;
        }
    }
    if (!ok) {
        m_found.clear();
        m_params.clear();
    }
    return ok;
}

bool CmdLineParser::Found(std::string_view name) const {
    std::string ignored;
    return Found(name, &ignored);
}

bool CmdLineParser::Found(std::string_view name, std::string* value) const {
    bool found = false;
    for (const auto& [entry, given] : m_found) {
        if (entry->shortName == name || entry->longName == name) {
            *value = given;
            found = true;
        }
    }
    return found;
}

std::string CmdLineParser::Usage(std::string_view programName) const {
    std::string synopsis = "Usage: " + std::string(programName);
    std::vector<std::pair<std::string, std::string>> rows;
    for (const CmdLineEntry& entry : m_entries) {
        if (entry.kind == CmdLineKind::kParam) {
            synopsis += " [" + entry.description + "]";
            continue;
        }
        const bool isOption = entry.kind == CmdLineKind::kOption;
        // An option without a short name goes by its long one.
        const std::string name =
            entry.shortName.empty() ? "--" + entry.longName : "-" + entry.shortName;
        synopsis += " [" + name + (isOption ? " <" + entry.valueType + ">" : "") + "]";
        rows.emplace_back((entry.shortName.empty() ? "    " : name + ", ") + "--" + entry.longName +
                              (isOption ? "=<" + entry.valueType + ">" : ""),
                          entry.description);
    }
    size_t width = 0;
    for (const auto& row : rows)
        width = std::max(width, row.first.size());
    std::string text = WrappedSynopsis(synopsis, programName.size() + 8) + "\n";
    for (const auto& [names, description] : rows) {
        std::string line = "  " + names;
        if (!description.empty())
            line += std::string(width - names.size() + 2, ' ') + description;
        text += line + "\n";
    }
    return text;
}

}  // namespace ZephPatch
