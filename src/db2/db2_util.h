// DB2 name rules and DB2 text forms. db2_validator decides whether a MySQL name can be used in DB2
// unchanged (at most 30 characters, a letter first, then letters, digits, '#', '$', '_', and not
// a name already taken) and makes a safe name otherwise. Three kinds differ only in the names they
// start out knowing: table names of a run, column names of one table, index names of the whole
// database (the engine's single db2_in_validator). Names keep their letter case: every DB2
// identifier is written between double quotes.
//
// Beside them: the DB2 column type of a neutral column descriptor, default literals and SQL
// literals. Plain objects used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ole/ole_var.h"
#include "tk/tk_singl.h"
#include "udb/udb_idx.h"
#include "udb/udb_sche.h"
#include "udb/udb_vali.h"

class db2_validator : public udb_validator {
public:
    static constexpr int32_t max_name_length = 30;

    db2_validator();

    // True for a name of 1 to 30 characters that starts with a letter, holds only letters, digits,
    // '#', '$' and '_', and is no restricted name (compared without regard to case). Existing names
    // are not looked at.
    bool is_acceptable(std::u16string_view name) const override;
    // "A" in front of a name that does not start with a letter, cut to 29 characters, every other
    // character replaced by '_', then the base's numbering until the name is free.
    std::u16string get_safe_name(std::u16string_view name) const override;

    // A name that is taken: no later name may equal it in any letter case.
    void add_restricted_name(const std::u16string& name);
};

// Table names of one conversion run: the selected tables, then the tables already in the schema.
class db2_tn_validator : public db2_validator {
public:
    db2_tn_validator(const std::vector<std::u16string>& selected_tables,
                     const std::vector<std::u16string>& schema_tables);
};

// Column names of one table being created: every source column name.
class db2_fn_validator : public db2_validator {
public:
    explicit db2_fn_validator(const udb_schema& source_fields);
};

// Index and constraint names of the whole database, for the life of the engine.
class db2_in_validator : public tk_single_instance<db2_in_validator> {
public:
    db2_in_validator() = default;

    // Adds the name of every index of the list to the existing names.
    void add_index_names(const udb_indexes& indexes);
    db2_validator& validator() noexcept { return validator_; }

private:
    db2_validator validator_;
};

// Largest VARGRAPHIC length (UTF-16 units) and largest VARCHAR FOR BIT DATA length (bytes).
inline constexpr uint32_t db2_vargraphic_limit = 16336;
inline constexpr uint32_t db2_varchar_limit = 32672;
// Largest logged LOB and largest LOB at all.
inline constexpr uint64_t db2_logged_lob_limit = 1073741824;
inline constexpr uint64_t db2_lob_limit = 2147483647;

// True when the column becomes a CLOB or BLOB: such a column takes no DEFAULT, NOT NULL or
// identity clause and cannot be part of an index.
bool is_db2_lob(const t_ftd& column);
// The DB2 type of a neutral column, exactly as CREATE TABLE receives it. An unmapped type code is an
// internal error (db2_util 254).
std::u16string make_db2_type(const t_ftd& column);
// The DEFAULT literal of a column, empty when the column gets no DEFAULT clause. A null column is an
// internal error (db2_util 114).
std::u16string make_db2_def_val(const t_ftd* column);
// An SQL literal of a text: VT_DATE texts as 'hh:mm:ss' (kind 3), 'yyyy-mm-dd' (kind 2) or
// 'yyyy-mm-dd hh:mm:ss' (otherwise), empty when the text is no date; other texts between
// apostrophes with apostrophes doubled (a text holding a GUID gives the braced GUID). An empty
// text gives ''.
std::u16string to_db2_str(const std::u16string& text, VARTYPE vt, int32_t kind = 0);
