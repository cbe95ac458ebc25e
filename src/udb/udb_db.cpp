#include "udb/udb_db.h"

#include <utility>

#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

// ---------------------------------------------------------------------------------------------
// udb_recordset

udb_recordset::udb_recordset(std::u16string name, bool owns) : name_(std::move(name)), schema_(owns) {}

udb_recordset::udb_recordset(std::u16string name, std::u16string query_text, bool owns)
    : query_text_(std::move(query_text)), name_(std::move(name)), schema_(owns) {}

udb_recordset::~udb_recordset() = default;

void udb_recordset::update(const udb_record&) { TK_TRACE(1, "udb_recordset::update"); }

udb_record* udb_recordset::get_item() { return nullptr; }

bool udb_recordset::is_eof() { return true; }

bool udb_recordset::is_query() const { return !query_text_.empty(); }

void udb_recordset::next() {}

void udb_recordset::prev() {}

void udb_recordset::reset() {}

void udb_recordset::close() {}

void udb_recordset::add_index(const udb_index& index) {
    TK_TRACE(1, "udb_recordset::add_index (%s)", TK_W(index.name));
    if (!indexes_.is_acceptable_name(index.name)) return;
    if (index.primary || index.unique) {
        bool first_key = true;
        for (const udb_index& existing : indexes_)
            if (existing.primary || existing.unique) first_key = false;
        if (first_key) TK_TRACE(1, "Store primary/unique key");
    }
    indexes_.append(index);
}

// ---------------------------------------------------------------------------------------------
// udb_database

udb_database::udb_database(std::u16string name, int32_t mode, bool case_sensitive)
    : mode_(mode), name_(std::move(name)), case_sensitive_(case_sensitive) {
    TK_TRACE(1, "udb_database::ctor(%s)", TK_W(name_));
}

udb_database::~udb_database() { TK_TRACE(1, "udb_database::dtor"); }

bool udb_database::names_equal(std::u16string_view a, std::u16string_view b) const {
    return case_sensitive_ ? a == b : tk_equal_nocase(a, b);
}

bool udb_database::delete_tab(const std::u16string& name) {
    TK_TRACE(1, "udb_database::delete_tab (%s)", TK_W(name));
    for (auto it = table_names_.begin(); it != table_names_.end(); ++it) {
        if (names_equal(*it, name)) {
            table_names_.erase(it);
            return true;
        }
    }
    throw tk_mail_assertion("udb_db", 44);
}

std::unique_ptr<udb_recordset> udb_database::query_records(const std::u16string&) {
    throw tk_mail_assertion("udb_db", 70);
}

void udb_database::create_views(const std::map<std::u16string, std::u16string>&) {}

void udb_database::create_relationships(const udb_relationships&) {}

bool udb_database::is_table_exist(const std::u16string& name) const {
    TK_TRACE(1, "udb_database::is_table_exist(%s)", TK_W(name));
    for (const std::u16string& table : table_names_) {
        TK_TRACE(1, "Compare with %s", TK_W(table));
        if (names_equal(table, name)) {
            TK_TRACE(1, "table exists");
            return true;
        }
    }
    TK_TRACE(1, "table not found");
    return false;
}
