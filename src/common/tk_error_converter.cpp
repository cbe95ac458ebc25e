#include "common/tk_error_converter.h"

#include "tk/tk_errco.h"
#include "tk/tk_log.h"

tk_error_converter::tk_error_converter(int count, const tk_error_pair* table) {
    TK_TRACE(2, "tk_error_converter::ctor (map size=%d)", count);
    load_map(count, table);
}

void tk_error_converter::load_map(int count, const tk_error_pair* table) {
    TK_TRACE(2, "tk_error_converter::load_map (map size=%d)", count);
    if (table == nullptr) throw tk_mail_assertion("tk_errco", 43);
    for (int pair_idx = 0; pair_idx < count; ++pair_idx)
        messages_.emplace(table[pair_idx].code, table[pair_idx].message);
}

std::string tk_error_converter::convert(int32_t code) const {
    TK_TRACE(2, "tk_error_converter::convert(%d)", code);
    auto found = messages_.find(code);
    if (found == messages_.end()) {
        TK_TRACE(1, "Error message not found!");
        return std::string();
    }
    TK_TRACE(1, "Error message has been found: %s", found->second.c_str());
    return found->second;
}
