// The in-memory form of a conversion profile: an ordered map of sections, each an ordered map of
// keys to values, all wide text ordered code unit by code unit. A profile lives for one load or
// one store; the converter and its two sides read and write their own sections.
//
// File format: UTF-8 text, "[section]" lines, then "key=value" lines (a bare key is a key with
// an empty value), CR LF line ends. A value that holds a line break (a multi-line SELECT) is
// written on one line as the marker "{qvx-escaped}" followed by the value with "\\", "\n" and
// "\r" escaped; every other value is written as it is, so profiles without such values read as
// they always did. Lines longer than 4095 bytes are refused, never cut.
#pragma once

#include <map>
#include <string>

class udb_profile {
public:
    using section = std::map<std::u16string, std::u16string>;

    udb_profile();

    // Reads the file into this profile. Throws tk_exception (level 1) when the file cannot be
    // opened ("Profile does not exist. ...") or holds a line longer than 4095 bytes. Returns
    // false when a key line comes before the first section (what was read before stays).
    bool load(const std::u16string& path);
    // Writes the profile, readable and writable by its owner only (it holds passwords). A file
    // that cannot be opened is not written; no error is reported.
    void store(const std::u16string& path) const;

    // The value, or the empty text when the section or the key is missing.
    std::u16string get(const std::u16string& section_name, const std::u16string& key) const;
    // Creates the section when needed; an existing key keeps its old value.
    void set(const std::u16string& section_name, const std::u16string& key,
             const std::u16string& value);

    const std::map<std::u16string, section>& sections() const { return sections_; }
    // The section, or an empty one when missing.
    const section& get_section(const std::u16string& section_name) const;

    static constexpr size_t max_line_bytes = 4095;

private:
    std::map<std::u16string, section> sections_;
};
