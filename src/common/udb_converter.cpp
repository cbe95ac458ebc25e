#include "common/udb_converter.h"

#include "tk/tk_log.h"
#include "tk/tk_utils.h"
#include "udb/udb_prof.h"

namespace {

const char16_t k_selected_tables[] = u"Selected Tables";
const char16_t k_available_queries[] = u"Available Queries";
const char16_t k_generic[] = u"Generic settings";

// A flag given in a profile: any value but "0" switches it on; an empty value leaves it.
void read_flag(const udb_profile& profile, const char16_t* key, bool& flag) {
    std::u16string value = profile.get(k_generic, key);
    if (!value.empty()) flag = value != u"0";
}

}  // namespace

udb_converter::udb_converter() {
    TK_TRACE(2, "udb_converter::ctor");
}

udb_converter::~udb_converter() = default;

void udb_converter::clear_selection() {
    selected_tables_.clear();
    tables_and_queries_.clear();
    available_queries_.clear();
}

std::u16string udb_converter::current_table_name() const {
    std::lock_guard<std::mutex> lock(current_table_lock_);
    return current_table_name_;
}

void udb_converter::set_current_table_name(const std::u16string& name) {
    std::lock_guard<std::mutex> lock(current_table_lock_);
    current_table_name_ = name;
}

void udb_converter::load_profile(const udb_profile& profile) {
    TK_TRACE(1, "udb_converter::load_profile");
    for (const auto& [name, text] : profile.get_section(k_selected_tables)) {
        tables_and_queries_.emplace(name, text);
        if (text.empty()) {
            TK_TRACE(1, "Push back table '%s'", TK_W(name));
            selected_tables_.push_back(name);
        }
    }
    for (const auto& [name, text] : profile.get_section(k_available_queries))
        available_queries_.emplace(name, text);

    std::u16string value = profile.get(k_generic, u"src");
    if (!value.empty()) source_name_ = value;
    value = profile.get(k_generic, u"dest");
    if (!value.empty()) destination_name_ = value;
    value = profile.get(k_generic, u"logfile");
    if (!value.empty()) set_logfile(tk_to_ansi(value));
    read_flag(profile, u"only definitions", definitions_only_);
    read_flag(profile, u"skip indexes", skip_indexes_);
    // Only the three modes there are; any other character would preselect no mode at all.
    value = profile.get(k_generic, u"mode");
    if (value.size() == 1 && value[0] >= u'0' && value[0] <= u'2') stored_mode_ = value[0] - u'0';
}

void udb_converter::store_profile(udb_profile& profile) const {
    TK_TRACE(2, "udb_converter::store_profile");
    for (const auto& [name, text] : available_queries_) {
        TK_TRACE(1, "Available Query: (%s,%s)", TK_W(name), TK_W(text));
        profile.set(k_available_queries, name, text);
    }
    for (const auto& [name, text] : tables_and_queries_) {
        TK_TRACE(1, "Selected Query: (%s,%s)", TK_W(name), TK_W(text));
        profile.set(k_selected_tables, name, text);
    }
    profile.set(k_generic, u"src", source_name_);
    profile.set(k_generic, u"dest", destination_name_);
    profile.set(k_generic, u"logfile", tk_from_ansi(log_file_name_));
    profile.set(k_generic, u"skip indexes", skip_indexes_ ? u"1" : u"0");
    profile.set(k_generic, u"only definitions", definitions_only_ ? u"1" : u"0");
    profile.set(k_generic, u"mode", tk_u16(std::to_string(stored_mode_)));
}
