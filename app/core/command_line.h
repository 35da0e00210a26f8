// A command-line parser shared by the window and console front ends, with the toolkit parser's
// conventions: short names after "-", long names after "--", an option's value after "=" or
// as the next argument, single-letter switches grouped ("-ad"), "--" ending the options, and
// positional parameters anywhere. It never prints: the caller shows Usage() and Error().
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ZephPatch {

enum class CmdLineKind { kSwitch, kOption, kParam };

struct CmdLineEntry {
    CmdLineKind kind;
    std::string shortName;    // without "-"; for a parameter its name; may be empty
    std::string longName;     // without "--"; empty for a parameter
    std::string description;  // help text; a parameter's name in the usage line
    std::string valueType;    // options: shown as "<valueType>" in the usage text
};

class CmdLineParser {
public:
    explicit CmdLineParser(std::vector<CmdLineEntry> entries) : m_entries(std::move(entries)) {}

    // Parses `arguments` (without the program name). False on a syntax error (unknown option,
    // missing or unexpected value, too many parameters) with Error() saying which; the results
    // are then empty. Every parameter is optional.
    [[nodiscard]] bool Parse(const std::vector<std::string>& arguments);
    [[nodiscard]] const std::string& Error() const { return m_error; }

    // The usage text: one synopsis line, then one line per switch and option.
    [[nodiscard]] std::string Usage(std::string_view programName) const;

    // Whether the switch or option named by its short or long name was given; `value` receives
    // an option's value (the last one when given twice).
    [[nodiscard]] bool Found(std::string_view name) const;
    [[nodiscard]] bool Found(std::string_view name, std::string* value) const;
    // Positional parameters in the order given.
    [[nodiscard]] const std::vector<std::string>& Params() const { return m_params; }

private:
    [[nodiscard]] const CmdLineEntry* FindEntry(std::string_view name, bool isLong) const;
    [[nodiscard]] bool ParseShort(const std::vector<std::string>& arguments, size_t* index);
    [[nodiscard]] bool ParseLong(const std::vector<std::string>& arguments, size_t* index);
    [[nodiscard]] bool Take(const CmdLineEntry& entry, std::string_view shown,
                            const std::string* inlineValue,
                            const std::vector<std::string>& arguments, size_t* index);
    [[nodiscard]] size_t ParamLimit() const;

    std::vector<CmdLineEntry> m_entries;
    std::vector<std::pair<const CmdLineEntry*, std::string>> m_found;
    std::vector<std::string> m_params;
    std::string m_error;
};

}  // namespace ZephPatch
