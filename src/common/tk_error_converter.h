// Map from an error code to the user message shown for it (MySQL error numbers plus 0x400000,
// as sql_exception sets them). Filled from tables of pairs; the first message given for a code
// stays.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct tk_error_pair {
    int32_t code;
    const char* message;
};

class tk_error_converter {
public:
    tk_error_converter(int count, const tk_error_pair* table);

    // Adds count pairs; a null table is an internal error, a count of 0 adds nothing.
    void load_map(int count, const tk_error_pair* table);
    // The message for the code, or the empty text when there is none.
    std::string convert(int32_t code) const;

private:
    std::map<int32_t, std::string> messages_;
};
