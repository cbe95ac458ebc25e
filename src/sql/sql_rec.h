// One row read from the MySQL server: sql_record owns one sql_field per column, in column order,
// each a typed value converted from the server's text form by the column's MySQL type (see
// sql_util.h), named after its column, with the byte length of this row's value as its size.
// A record belongs to the record-set that read it. Records of a table reader are refilled in
// place when the reader loads its next page, so the page costs no allocation beyond the values.
#pragma once

#include <string>

#include "udb/udb_sche.h"

struct st_mysql_field;

class sql_field : public udb_field {
public:
    using udb_field::udb_field;
};

class sql_record : public udb_record {
public:
    // Builds the fields of one fetched row: `fields` the result's column descriptions (null
    // raises tk_mail_assertion sql_rec 17), `lengths` the row's value lengths, `row` its values
    // (a null value is SQL NULL). Throws the UTF-8 conversion error of a text value.
    sql_record(unsigned n_fields, const st_mysql_field* fields, const unsigned long* lengths,
               char** row);
    // Replaces the values by those of another row of the same result; the fields keep their
    // names. On a conversion error the record is left partly refilled.
    void assign(const st_mysql_field* fields, const unsigned long* lengths, char** row);

private:
    static void fill(udb_field& field, const st_mysql_field& description, const char* value,
                     unsigned long length);
};
