#include "udb/udb_vali.h"

#include <algorithm>
#include <cstdio>

#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {

// Cuts to at most `length` code units without splitting a surrogate pair.
void cut_to(std::u16string& name, size_t length) {
    if (name.size() <= length) return;
    name.resize(length);
    if (!name.empty() && name.back() >= 0xD800 && name.back() <= 0xDBFF) name.pop_back();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// t_names_map, udb_names_map

void t_names_map::add(const std::u16string& source, const std::u16string& generated) {
    TK_TRACE(1, "t_names_map::add(%s,%s)", TK_W(source), TK_W(generated));
    map_.emplace(source, generated);
}

std::u16string t_names_map::get_mapped_name(std::u16string_view name, bool exact) const {
    TK_TRACE(1, "t_names_map::get_mapped_name(%s)", TK_W(name));
    for (const auto& [source, generated] : map_) {
        if (exact ? source == name : tk_equal_nocase(source, name)) {
            TK_TRACE(1, "Got mapped name: %s", TK_W(generated));
            return generated;
        }
    }
    return std::u16string(name);
}

void udb_names_map::add_tn_mapping(const std::u16string& source, const std::u16string& generated) {
    TK_TRACE(2, "udb_names_map::add_tn_mapping(%s,%s)", TK_W(source), TK_W(generated));
    tn_map_.add(source, generated);
}

void udb_names_map::add_fn_map(const std::u16string& table, const t_names_map& field_map) {
    TK_TRACE(2, "udb_names_map::add_fn_map(%s)", TK_W(table));
    fn_maps_.emplace(table, field_map);
}

// ---------------------------------------------------------------------------------------------
// udb_validator

udb_validator::udb_validator(int32_t max_length) : max_length_(max_length) {
    TK_TRACE(2, "udb_validator::ctor");
}

udb_validator::~udb_validator() = default;

bool udb_validator::is_acceptable(std::u16string_view name) const {
    TK_TRACE(1, "udb_validator::is_acceptable(%s)", TK_W(name));
    if (max_length_ != 0 && name.size() > static_cast<size_t>(max_length_)) {
        TK_TRACE(1, "The name is too long");
        return false;
    }
    for (const std::u16string& restricted : restricted_names_) {
        if (tk_equal_nocase(restricted, name)) {
            TK_TRACE(1, "The name is restricted");
            return false;
        }
    }
    for (char16_t illegal : illegal_chars_) {
        if (name.find(illegal) != std::u16string_view::npos) {
            TK_TRACE(1, "The name contains illegal: %s", TK_W(std::u16string_view(&illegal, 1)));
            return false;
        }
    }
    return true;
}

bool udb_validator::is_duplicated(std::u16string_view name) const {
    TK_TRACE(1, "udb_validator::is_duplicated(%s)", TK_W(name));
    for (const std::u16string& existing : existing_names_) {
        TK_TRACE(1, "Processing %s", TK_W(existing));
        if (tk_equal_nocase(existing, name)) return true;
    }
    return false;
}

std::u16string udb_validator::get_safe_name(std::u16string_view name) const {
    TK_TRACE(1, "udb_validator::get_safe_name(%s)", TK_W(name));
    const size_t limit = max_length_ > 0 ? static_cast<size_t>(max_length_) : 0;
    std::u16string safe(name);
    // One less than the limit: a 40-character name under a limit of 30 becomes 29 long.
    if (limit != 0 && safe.size() > limit) cut_to(safe, limit - 1);
    for (char16_t illegal : illegal_chars_) std::replace(safe.begin(), safe.end(), illegal, u'_');
    if (is_acceptable(safe) && !is_duplicated(safe)) return safe;

    // Room for the five counter digits.
    if (limit != 0 && safe.size() + 5 > limit) cut_to(safe, limit >= 6 ? limit - 6 : 0);
    std::u16string candidate;
    for (int counter = 0; counter < 100000; ++counter) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%05d", counter);
        candidate = safe;
        candidate.append(digits, digits + 5);
        if (is_acceptable(candidate) && !is_duplicated(candidate)) return candidate;
    }
    throw tk_mail_assertion("udb_vali", 54);
}

void udb_validator::add_existing_name(const std::u16string& name) {
    TK_TRACE(1, "udb_validator::add_existing_name(%s)", TK_W(name));
    existing_names_.push_back(name);
}

void udb_validator::add_mapped_pair(const std::u16string& source, const std::u16string& generated) {
    TK_TRACE(1, "udb_validator::add_mapped_pair(%s,%s)", TK_W(source), TK_W(generated));
    mapped_pairs_.add(source, generated);
}
