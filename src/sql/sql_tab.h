// sql_table: the reader of one MySQL table. Beyond the record reader it refines the column
// descriptors from SHOW COLUMNS (varchar lengths in characters, FLOAT(p,s) as decimals, default
// values), reads the indexes from SHOW INDEX and runs the foreign-key step of SHOW CREATE TABLE,
// all before any row is streamed. Owned by the caller of sql_database::get_table.
#pragma once

#include <string>

#include "sql/sql_recs.h"

class sql_table : public sql_recordset {
public:
    // The table must be listed by the database. Throws sql_exception.
    sql_table(sql_database& database, const std::u16string& name);

private:
    void initialize();
    void read_columns();
    void read_indexes();
    void read_foreign_keys();
};
