// The DB2 destination of a conversion run: one schema of the database the engine is connected
// to. db2_database knows the schema's tables, drops them, and creates a table from a neutral
// schema: DB2 column names and types (db2_schema_initializer), then the primary key and indexes
// (db2_indexes_initializer), and hands back a record set that appends rows to the new table.
//
// Statements name tables and columns unqualified and quoted; they run in the current schema that
// the constructor sets. Because SET SCHEMA makes the upper-cased name current, the catalog is read
// in that upper-cased schema too. Owned by the run; one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db2/db2_util.h"
#include "udb/udb_db.h"

class db2_database : public udb_database {
public:
    // Makes the schema current (a failure is only traced) and lists its tables.
    explicit db2_database(const std::u16string& schema);
    ~db2_database() override;

    // Creates the table with its primary key and indexes; returns its append record set. The name
    // must not be taken (internal error db2_db 111). A refused statement throws db2_exception: the
    // table list changes only when the table and its indexes are all created.
    std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    // DROP TABLE; false (name kept) when DB2 refuses it.
    bool delete_tab(const std::u16string& name) override;
    // A record set on a listed table (internal error db2_db 149 otherwise): mode 2 appends, mode 8
    // reads and appends (merge), others read.
    std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int32_t mode) override;
    // A record set over the statement's rows.
    std::unique_ptr<udb_recordset> get_query(const std::u16string& name, const std::u16string& text,
                                             int32_t mode) override;
    // Makes the schema current and runs the statement; false on any failure.
    bool query(const std::u16string& statement) override;
    // No reader is made for a bare statement.
    std::unique_ptr<udb_recordset> query_records(const std::u16string& statement) override;
    void create_relationships(const udb_relationships& relationships) override;

    // The schema the statements run in: the name upper-cased, as SET SCHEMA makes it current.
    const std::u16string& get_current_schema() const noexcept { return current_schema_; }

private:
    std::u16string current_schema_;
};

// The CREATE TABLE of one table: DB2 column names (the source name, or a safe one recorded in the
// validator's map), types, defaults, NOT NULL and the identity column.
class db2_schema_initializer {
public:
    db2_schema_initializer(const std::u16string& table, const udb_schema& fields, const udb_indexes& indexes);

    // The CREATE TABLE text.
    std::u16string make_create_text() const;
    // Runs the CREATE TABLE; db2_exception when DB2 refuses it.
    void get_init_str();

    const udb_schema& get_columns() const noexcept { return columns_; }
    const std::u16string& get_identity_column() const noexcept { return identity_column_; }
    const db2_fn_validator& get_validator() const noexcept { return validator_; }

private:
    std::u16string table_;
    udb_schema columns_;
    std::u16string identity_column_;
    db2_fn_validator validator_;
    const udb_schema& fields_;
    const udb_indexes& indexes_;
};

// The primary key and indexes of one new table: which source indexes DB2 can take, their names
// (unique in the whole database through the engine's index-name validator) and their columns
// under the DB2 column names.
class db2_indexes_initializer {
public:
    db2_indexes_initializer(const std::u16string& table, const udb_schema& columns, const udb_indexes& indexes,
                            const t_names_map& column_map);

    // Runs one statement per index taken, the primary key first. The first refused statement
    // throws db2_exception and the remaining indexes are not created.
    void build_indexes();
    // The indexes taken, in the order build_indexes creates them, under their DB2 column names.
    const udb_indexes& get_indexes() const noexcept { return indexes_; }

private:
    std::u16string table_;
    const udb_schema& columns_;
    const t_names_map& column_map_;
    udb_indexes indexes_;
};
