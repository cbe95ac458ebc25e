#include "sql/sql_tab.h"

#include <cstdio>

#include "sql/sql_engi.h"
#include "sql/sql_util.h"
#include "tk/tk_log.h"

sql_table::sql_table(sql_database& database, const std::u16string& name)
    : sql_recordset(database, database.get_relationships(), name) {
    TK_TRACE(2, "sql_table::ctor");
    initialize();
}

void sql_table::initialize() {
    TK_TRACE(2, "sql_table::initialize");
    read_columns();
    read_indexes();
    if (sql_engine::get_instance().get_version() >= sql_engine::version_foreign_keys)
        read_foreign_keys();
}

void sql_table::read_columns() {
    std::unique_ptr<udb_recordset> reader =
        database_.query_records(u"SHOW COLUMNS FROM " + sql_engine::get_instance().quote_name(name_));
    if (reader == nullptr) return;
    // Row i describes column i of the result.
    size_t column_idx = 0;
    for (reader->reset(); !reader->is_eof() && column_idx < schema_.size(); reader->next(), ++column_idx) {
        const udb_record& row = *reader->get_item();
        t_ftd& ftd = schema_[column_idx];
        const std::string type = row.at(1).to_string();
        TK_TRACE(2, "Got type: %s", type.c_str());
        int length = 0;
        int scale = 0;
        if (std::sscanf(type.c_str(), "varchar(%d)", &length) == 1) {
            // Characters, where the result description counted bytes.
            TK_TRACE(2, "Refining size for varchar: %d", length);
            ftd.size = static_cast<uint32_t>(length);
        } else if (std::sscanf(type.c_str(), "float(%d,%d)", &length, &scale) == 2) {
            TK_TRACE(2, "Refining type for FLOAT(%d,%d)", length, scale);
            if (length != 0 && scale != 0 && scale < length) {
                ftd.vartype = VT_DECIMAL;
                ftd.reserved = length << 8 | scale;
            }
        }
        const std::u16string def_text = row.at(row.size() - 2).to_wstring();
        TK_TRACE(2, "Got default value: %s", TK_W(def_text));
        if (!ftd.b_not_null && def_text.empty()) continue;
        TK_TRACE(2, "Default value's type: %08X", static_cast<unsigned>(ftd.vartype));
        if (ftd.vartype == VT_DATE &&
            (def_text.empty() || def_text == u"0000-00-00" || def_text == u"0000-00-00 00:00:00" ||
             def_text == u"00000000000000")) {
            // The zero date has no counterpart: the column takes NULL instead.
            TK_TRACE(2, "Skip empty def.values for date column");
            ftd.def_value.clear();
            ftd.b_not_null = false;
            continue;
        }
        const VARTYPE def_type =
            ftd.vartype == VT_DATE || ftd.vartype == VT_BSTR ? VT_BSTR : ftd.vartype;
        ftd.def_value = sql_get_variant(std::u16string_view(def_text), def_type);
    }
}

void sql_table::read_indexes() {
    std::unique_ptr<udb_recordset> reader =
        database_.query_records(u"SHOW INDEX FROM " + sql_engine::get_instance().quote_name(name_));
    if (reader == nullptr) return;
    for (reader->reset(); !reader->is_eof(); reader->next()) {
        const udb_record& row = *reader->get_item();
        const bool unique = !row.at(1).to_bool();
        const std::u16string key_name = row.at(2).to_wstring();
        const bool primary = key_name == u"PRIMARY";
        std::u16string column_name = row.at(4).to_wstring();
        TK_TRACE(2, "Got index '%s' (primary=%d, unique=%d)", TK_W(key_name), primary ? 1 : 0,
                 unique ? 1 : 0);
        if (indexes_.is_acceptable_name(key_name))
            add_index(udb_index(key_name, unique, primary, {std::move(column_name)}));
        else
            indexes_.get_index(key_name).fields.push_back(std::move(column_name));
    }
}

void sql_table::read_foreign_keys() {
    TK_TRACE(2, "Extracting foreign keys");
    std::unique_ptr<udb_recordset> reader = database_.query_records(
        u"SHOW CREATE TABLE " + sql_engine::get_instance().quote_name(name_));
    if (reader == nullptr) return;
    for (reader->reset(); !reader->is_eof(); reader->next()) {
        const udb_record& row = *reader->get_item();
        sql_fk_parser parser(row.at(row.size() - 1).to_string(), name_, relationships_);
        parser.do_parse();
    }
}
