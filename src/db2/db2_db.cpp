#include "db2/db2_db.h"

#include "db2/db2_engi.h"
#include "db2/db2_recs.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {

db2_engine& engine() { return db2_engine::get_instance(); }

SQLWCHAR* wide_arg(const std::u16string& text) { return const_cast<SQLWCHAR*>(text.c_str()); }

}  // namespace

db2_database::db2_database(const std::u16string& schema) : udb_database(schema, 1, true) {
    TK_TRACE(2, "db2_database::ctor(%s)", TK_W(schema));
    std::u16string upper = schema;
    current_schema_ = tk_wstring::to_upper(upper);
    try {
        engine().execute(u"SET SCHEMA " + db2_quote(current_schema_));
    } catch (const db2_exception&) {
        TK_TRACE(2, "Cannot set current schema");
    }
    // The schema is a name, not a pattern: MY_SCHEMA must not list the tables of MYXSCHEMA.
    table_names_ = engine().list_tables(db2_pattern(current_schema_), u"%");
}

db2_database::~db2_database() = default;

std::unique_ptr<udb_recordset> db2_database::create_table(const std::u16string& name, const udb_schema& schema,
                                                          const udb_indexes& indexes) {
    TK_TRACE(2, "db2_database::create_table(%s)", TK_W(name));
    if (is_table_exist(name)) throw tk_mail_assertion("db2_db", 111);
    db2_schema_initializer initializer(name, schema, indexes);
    initializer.get_init_str();
    if (!indexes.empty()) {
        db2_validator& index_names = engine().get_in_validator().validator();
        std::unique_ptr<udb_recordset> catalog = get_query(u"", u"SELECT INDNAME FROM SYSCAT.INDEXES", 0);
        for (catalog->reset(); !catalog->is_eof(); catalog->next()) {
            const udb_record* record = catalog->get_item();
            if (record == nullptr) break;
            const std::u16string index_name = record->find_field(u"INDNAME").to_wstring();
            index_names.add_existing_name(index_name);
        }
        catalog->close();
        db2_indexes_initializer index_builder(name, initializer.get_columns(), indexes,
                                              initializer.get_validator().get_mapped_pairs());
        index_builder.build_indexes();
    }
    table_names_.push_back(name);
    names_map_.add_fn_map(name, initializer.get_validator().get_mapped_pairs());
    return get_table(name, db2_recordset::mode_append);
}

bool db2_database::delete_tab(const std::u16string& name) {
    try {
        engine().execute(u"DROP TABLE " + db2_quote(name));
    } catch (const tk_exception& e) {
        TK_TRACE(2, "db2_database::delete_tab: %s", e.what());
        return false;
    }
    return udb_database::delete_tab(name);
}

std::unique_ptr<udb_recordset> db2_database::get_table(const std::u16string& name, int32_t mode) {
    TK_TRACE(2, "db2_database::get_table(%s)", TK_W(name));
    if (!is_table_exist(name)) throw tk_mail_assertion("db2_db", 149);
    return std::make_unique<db2_recordset>(current_schema_, name, mode);
}

std::unique_ptr<udb_recordset> db2_database::get_query(const std::u16string& name, const std::u16string& text,
                                                       int32_t mode) {
    TK_TRACE(2, "db2_database::get_table(%s)", TK_W(name));
    (void)mode;
    return std::make_unique<db2_recordset>(name, text);
}

bool db2_database::query(const std::u16string& statement) {
    db2_engine& db2 = engine();
    try {
        cli_statement handle = db2.new_statement();
        const std::u16string set_schema = u"SET SCHEMA " + db2_quote(current_schema_);
        db2.check_err(db2.cli().SQLExecDirectW(handle.get(), wide_arg(set_schema), SQL_NTS), SQL_HANDLE_STMT,
                      handle.get());
        db2.check_err(db2.cli().SQLExecDirectW(handle.get(), wide_arg(statement), SQL_NTS), SQL_HANDLE_STMT,
                      handle.get());
    } catch (const tk_exception& e) {
        TK_TRACE(2, "db2_database::query: %s", e.what());
        return false;
    }
    return true;
}

std::unique_ptr<udb_recordset> db2_database::query_records(const std::u16string& statement) {
    (void)statement;
    return nullptr;
}

void db2_database::create_relationships(const udb_relationships& relationships) { (void)relationships; }

// ---------------------------------------------------------------------------------------------

db2_schema_initializer::db2_schema_initializer(const std::u16string& table, const udb_schema& fields,
                                               const udb_indexes& indexes)
    : table_(table), columns_(true), validator_(fields), fields_(fields), indexes_(indexes) {
    TK_TRACE(1, "db2_schema_initializer::ctor");
    for (const t_ftd* field : fields_.get_fields()) {
        std::u16string name = field->name;
        if (!validator_.is_acceptable(name)) name = validator_.get_safe_name(name);
        bool not_null = field->b_auto_increment || field->b_not_null;
        if (indexes_.is_idx_field(field->name, true)) {
            TK_TRACE(2, "Field is a part of Primary Key");
            not_null = true;
        }
        const ole_variant def_value = field->b_auto_increment ? ole_variant() : field->def_value;
        columns_.add_field(std::make_unique<t_ftd>(field->size, name, field->vartype, not_null, field->b_auto_increment,
                                                   def_value, field->reserved));
        if (name != field->name) {
            TK_TRACE(2, "Store generated column name '%s'", TK_W(name));
            validator_.add_existing_name(name);
            validator_.add_mapped_pair(field->name, name);
        }
        validator_.add_restricted_name(name);
        if (field->b_auto_increment) identity_column_ = name;
    }
}

std::u16string db2_schema_initializer::make_create_text() const {
    std::u16string text = u"CREATE TABLE " + db2_quote(table_) + u" (";
    for (size_t column_idx = 0; column_idx < columns_.size(); ++column_idx) {
        const t_ftd& column = columns_[column_idx];
        if (column_idx != 0) text += u", ";
        text += db2_quote(column.name) + u" " + make_db2_type(column);
        const std::u16string def_value = make_db2_def_val(&column);
        TK_TRACE(1, "got def value: %s", TK_W(def_value));
        // A large object takes none of the clauses.
        if (is_db2_lob(column)) continue;
        if (!def_value.empty()) text += u" DEFAULT " + def_value;
        if (column.b_not_null) text += u" NOT NULL";
        // BY DEFAULT: MySQL applications supply ids of their own, which ALWAYS would refuse.
        if (column.b_auto_increment) text += u" GENERATED BY DEFAULT AS IDENTITY ";
    }
    text += u")";
    return text;
}

void db2_schema_initializer::get_init_str() {
    TK_TRACE(1, "db2_schema_initializer::get_init_str(n_columns=%d)", int(columns_.size()));
    const std::u16string text = make_create_text();
    db2_engine& db2 = engine();
    cli_statement statement = db2.new_statement();
    db2.check_err(db2.cli().SQLExecDirectW(statement.get(), wide_arg(text), SQL_NTS), SQL_HANDLE_STMT, statement.get());
}

// ---------------------------------------------------------------------------------------------

db2_indexes_initializer::db2_indexes_initializer(const std::u16string& table, const udb_schema& columns,
                                                 const udb_indexes& indexes, const t_names_map& column_map)
    : table_(table), columns_(columns), column_map_(column_map) {
    db2_in_validator& index_names = engine().get_in_validator();
    index_names.add_index_names(indexes);
    db2_validator& validator = index_names.validator();
    for (const bool primary_pass : {true, false}) {
        for (const udb_index& index : indexes) {
            if (index.primary != primary_pass) continue;
            const bool refused = !validator.is_acceptable(index.name);
            const std::u16string name = refused ? validator.get_safe_name(index.name) : index.name;
            std::vector<std::u16string> fields;
            bool usable = true;
            for (const std::u16string& source_field : index.fields) {
                const std::u16string field_name = column_map_.get_mapped_name(source_field, false);
                TK_TRACE(1, "db2_indexes_initializer::can_be_part_of_index");
                const t_ftd& column = columns_.get_index_field(field_name);
                TK_TRACE(1, "GOT FIELD: vt=%d, size=%d", int(column.vartype), int(column.size));
                if (is_db2_lob(column)) {
                    TK_TRACE(2, "Field '%s' cannot be part of index", TK_W(column.name));
                    usable = false;
                    break;
                }
                fields.push_back(column.name);
            }
            if (!usable) continue;
            TK_TRACE(1, "udb_indexes::has_index_on_fields");
            if (indexes_.has_index_on_fields(fields)) continue;
            indexes_.append(udb_index(name, index.unique, index.primary, fields));
            if (refused) {
                TK_TRACE(2, "Store generated index name '%s'", TK_W(name));
                validator.add_existing_name(name);
            }
            validator.add_restricted_name(name);
        }
    }
}

void db2_indexes_initializer::build_indexes() {
    TK_TRACE(1, "db2_indexes_initializer::build_indexes(n_indexes=%d)", int(indexes_.size()));
    if (indexes_.empty()) return;
    db2_engine& db2 = engine();
    db2_validator& validator = db2.get_in_validator().validator();
    cli_statement statement = db2.new_statement();
    for (const udb_index& index : indexes_) {
        std::u16string text;
        if (index.primary) {
            text = u"ALTER TABLE " + db2_quote(table_) + u" ADD CONSTRAINT " + db2_quote(index.name) + u" PRIMARY KEY (";
        } else {
            const std::u16string name = validator.is_acceptable(index.name) ? index.name : validator.get_safe_name(index.name);
            text = std::u16string(u"CREATE ") + (index.unique ? u"UNIQUE " : u"") + u"INDEX " + db2_quote(name) + u" ON " +
                   db2_quote(table_) + u" (";
        }
        for (size_t field_idx = 0; field_idx < index.fields.size(); ++field_idx) {
            TK_TRACE(1, "Process idx.field %s", TK_W(index.fields[field_idx]));
            if (field_idx != 0) text += u", ";
            text += db2_quote(index.fields[field_idx]);
        }
        text += u")";
        TK_TRACE(3, "Run SQL query: %s\n", TK_W(text));
        db2.check_err(db2.cli().SQLExecDirectW(statement.get(), wide_arg(text), SQL_NTS), SQL_HANDLE_STMT,
                      statement.get());
    }
}
