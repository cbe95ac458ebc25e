#include "udb/udb_idx.h"

#include <utility>

#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

udb_index::udb_index(std::u16string name_, bool unique_, bool primary_, std::vector<std::u16string> fields_)
    : name(std::move(name_)), unique(unique_), primary(primary_), fields(std::move(fields_)) {}

bool udb_index::starts_with_fields(const std::vector<std::u16string>& prefix) const {
    TK_TRACE(1, "udb_index(%s)::starts_with_fields", TK_W(name));
    if (fields.size() < prefix.size()) return false;
    for (size_t field_idx = 0; field_idx < prefix.size(); ++field_idx) {
        if (!tk_equal_nocase(fields[field_idx], prefix[field_idx])) {
            TK_TRACE(1, "Field '%s' not found", TK_W(prefix[field_idx]));
            return false;
        }
    }
    TK_TRACE(1, "starts_with_fields returns true");
    return true;
}

const udb_index* udb_indexes::lookup(std::u16string_view name) const {
    for (const udb_index& index : list_)
        if (tk_equal_nocase(index.name, name)) return &index;
    return nullptr;
}

bool udb_indexes::is_acceptable_name(std::u16string_view name) const {
    TK_TRACE(1, "udb_indexes::is_acceptable_name(%s)", TK_W(name));
    return lookup(name) == nullptr;
}

const udb_index& udb_indexes::get_index(std::u16string_view name) const {
    TK_TRACE(1, "udb_indexes::get_index(%s)", TK_W(name));
    const udb_index* index = lookup(name);
    if (index == nullptr) throw tk_mail_assertion("udb_idx", 134);
    return *index;
}

udb_index& udb_indexes::get_index(std::u16string_view name) {
    return const_cast<udb_index&>(static_cast<const udb_indexes&>(*this).get_index(name));
}

bool udb_indexes::is_idx_field(std::u16string_view name, bool primary_only) const {
    TK_TRACE(1, "udb_indexes::is_idx_field(%s)", TK_W(name));
    for (const udb_index& index : list_) {
        if (primary_only && !index.primary) continue;
        for (const std::u16string& field : index.fields) {
            if (field == name) {
                TK_TRACE(1, "index field");
                return true;
            }
        }
    }
    TK_TRACE(1, "non-index field");
    return false;
}

bool udb_indexes::has_index_on_fields(const std::vector<std::u16string>& fields) const {
    TK_TRACE(1, "udb_indexes::has_index_on_fields");
    for (const udb_index& index : list_)
        if (index.starts_with_fields(fields)) return true;
    return false;
}

udb_index& udb_indexes::append(udb_index index) {
    list_.push_back(std::move(index));
    return list_.back();
}
