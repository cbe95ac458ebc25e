#include "udb/udb_prof.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string_view>

#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {

const char16_t k_escaped_marker[] = u"{qvx-escaped}";

bool needs_escape(const std::u16string& value) {
    return value.find_first_of(u"\r\n") != std::u16string::npos ||
           value.starts_with(k_escaped_marker);
}

std::u16string escape(const std::u16string& value) {
    std::u16string out = k_escaped_marker;
    for (char16_t c : value) {
        switch (c) {
            case u'\\': out += u"\\\\"; break;
            case u'\n': out += u"\\n"; break;
            case u'\r': out += u"\\r"; break;
            default: out += c;
        }
    }
    return out;
}

std::u16string unescape(const std::u16string& value) {
    if (!value.starts_with(k_escaped_marker)) return value;
    std::u16string out;
    for (size_t i = std::char_traits<char16_t>::length(k_escaped_marker); i < value.size(); ++i) {
        char16_t c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            char16_t next = value[++i];
            out += next == u'n' ? u'\n' : next == u'r' ? u'\r' : next;
        } else {
            out += c;
        }
    }
    return out;
}

const udb_profile::section& empty_section() {
    static const udb_profile::section empty;
    return empty;
}

}  // namespace

udb_profile::udb_profile() {
    sections_[u"Available Queries"];
    sections_[u"Selected Tables"];
    sections_[u"Generic settings"];
}

std::u16string udb_profile::get(const std::u16string& section_name,
                                const std::u16string& key) const {
    auto found = sections_.find(section_name);
    if (found == sections_.end()) return std::u16string();
    auto value = found->second.find(key);
    return value == found->second.end() ? std::u16string() : value->second;
}

void udb_profile::set(const std::u16string& section_name, const std::u16string& key,
                      const std::u16string& value) {
    sections_[section_name].emplace(key, value);
}

const udb_profile::section& udb_profile::get_section(const std::u16string& section_name) const {
    auto found = sections_.find(section_name);
    return found == sections_.end() ? empty_section() : found->second;
}

bool udb_profile::load(const std::u16string& path) {
    TK_TRACE(2, "udb_profile::load(%s)", TK_W(path));
    std::string narrow;
    if (!tk_wide_to_ansi(path.c_str(), narrow) || !tk_is_file_exist(narrow, 0))
        throw tk_exception(u"Profile does not exist. Please verify the correct path/name was given.",
                           1);
    std::ifstream file(narrow, std::ios::binary);
    if (!file) return false;

    section* current = nullptr;
    std::string raw;
    int line_number = 0;
    while (std::getline(file, raw)) {
        ++line_number;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        if (raw.size() > max_line_bytes) {
            throw tk_exception("Profile line " + std::to_string(line_number) +
                                   " is longer than 4095 bytes: the profile cannot be read.",
                               1);
        }
        std::u16string line = tk_trim(tk_from_utf8(raw));
        if (line.empty()) continue;
        if (line.size() >= 2 && line.front() == u'[' && line.back() == u']') {
            current = &sections_[line.substr(1, line.size() - 2)];
            continue;
        }
        if (current == nullptr) return false;
        size_t equals = line.find(u'=');
        if (equals == std::u16string::npos) {
            current->emplace(line, std::u16string());
        } else {
            current->emplace(tk_trim(line.substr(0, equals)), unescape(line.substr(equals + 1)));
        }
    }
    return true;
}

void udb_profile::store(const std::u16string& path) const {
    TK_TRACE(2, "udb_profile::store)%s", TK_W(path));
    std::string narrow;
    if (!tk_wide_to_ansi(path.c_str(), narrow)) return;

    std::string text;
    for (const auto& [name, keys] : sections_) {
        text += tk_to_utf8(u"[" + name + u"]");
        text += "\r\n";
        const bool bare_keys = name == u"Selected Tables";
        for (const auto& [key, value] : keys) {
            if (bare_keys && value.empty()) {
                text += tk_to_utf8(key);
            } else {
                text += tk_to_utf8(key);
                text += '=';
                text += tk_to_utf8(needs_escape(value) ? escape(value) : value);
            }
            text += "\r\n";
        }
        text += "\r\n";
    }

    // Passwords are kept in plain text: the file is its owner's alone, also when it existed.
    int fd = ::open(narrow.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    ::fchmod(fd, 0600);
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written <= 0) break;
        data += written;
        left -= static_cast<size_t>(written);
    }
    ::close(fd);
}
