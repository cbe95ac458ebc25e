// Command-line scanner of the console agent. It walks the arguments after the program name and
// matches each against an option table: the first entry whose prefix starts the argument wins
// ("--helpful" is "--help"), and the rest of the argument is the option's value. Arguments that
// match no prefix are collected. The scanner borrows the table and the argument vector; both
// must outlive it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One entry of an option table. A table ends with an entry whose prefix is empty.
struct tk_cmd_option {
    int number;
    const char* prefix;
};

class tk_cmdli {
public:
    // Keeps this many unmatched arguments; later ones are counted but not kept.
    static constexpr size_t max_unmatched = 20;

    // Scans argv[1] to argv[argc - 1]. A null table or argument vector is an internal error.
    tk_cmdli(const tk_cmd_option* options, int argc, const char* const* argv);

    // Moves to the next argument and matches it; false when every argument was scanned.
    bool next();

    // Option number of the current argument, -1 when no prefix matched.
    int option() const { return option_; }
    // The current argument behind the matched prefix (empty when nothing matched).
    const std::string& value() const { return value_; }
    // The current argument as given.
    const char* argument() const { return current_; }

    // The first max_unmatched arguments that matched no prefix, in order.
    const std::vector<std::string>& unmatched() const { return unmatched_; }
    // All arguments that matched no prefix, kept or not.
    size_t unmatched_count() const { return unmatched_count_; }

private:
    const tk_cmd_option* options_;
    const char* const* cursor_;
    int remaining_;
    int option_ = -1;
    std::string value_;
    const char* current_ = nullptr;
    std::vector<std::string> unmatched_;
    size_t unmatched_count_ = 0;
};
