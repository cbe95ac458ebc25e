// The two abstract classes the conversion works on: udb_database, one open database with its
// tables, name map and foreign keys, and udb_recordset, one table or query result that is read
// record by record or written to. The MySQL side and the DB2 side implement them. A record-set
// handed out by a database belongs to the caller and reads through the database's connection, so
// it is deleted before its database. Each object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "udb/udb_idx.h"
#include "udb/udb_rel.h"
#include "udb/udb_sche.h"
#include "udb/udb_vali.h"

class udb_recordset {
public:
    // A table record-set; `owns` is the schema's owns flag.
    udb_recordset(std::u16string name, bool owns);
    // A query record-set over a SELECT text.
    udb_recordset(std::u16string name, std::u16string query_text, bool owns);
    udb_recordset(const udb_recordset&) = delete;
    udb_recordset& operator=(const udb_recordset&) = delete;

    virtual ~udb_recordset();
    // Writes one record into the table; fields are matched to columns by the subclass.
    virtual void append_record(const udb_record& record) = 0;
    // Base: only traces.
    virtual void update(const udb_record& record);
    // The current record, or nullptr when there is none (the base). The record-set keeps it; it
    // stays valid until the record-set moves.
    virtual udb_record* get_item();
    // True when there is no current record (the base: always).
    virtual bool is_eof();
    // True when the record-set was made over a query text.
    virtual bool is_query() const;
    // Moves to the following record (the base does nothing).
    virtual void next();
    // Moves to the previous record (the base does nothing).
    virtual void prev();
    // Moves to the first record, or to the end when there is none (the base does nothing).
    virtual void reset();
    // Finishes work that can fail (a last partial batch of inserts, restoring identities) before
    // the record-set is released, so that the failure can be reported; the destructor only cleans
    // up. The base does nothing.
    virtual void close();

    // Appends the index unless one of that name is already there (case-insensitive).
    void add_index(const udb_index& index);

    const std::u16string& get_name() const noexcept { return name_; }
    const std::u16string& get_query_text() const noexcept { return query_text_; }
    udb_schema& get_schema() noexcept { return schema_; }
    const udb_schema& get_schema() const noexcept { return schema_; }
    udb_indexes& get_indexes() noexcept { return indexes_; }
    const udb_indexes& get_indexes() const noexcept { return indexes_; }
    // Number of records, set by the subclass when it opens; 0 until then.
    int32_t get_record_count() const noexcept { return record_count_; }

protected:
    std::u16string query_text_;
    std::u16string name_;
    udb_schema schema_;
    udb_indexes indexes_;
    int32_t record_count_ = 0;
};

class udb_database {
public:
    // `case_sensitive`: false when table names compare case-insensitively (MySQL), true when
    // exactly (DB2). `mode` belongs to the subclass.
    udb_database(std::u16string name, int32_t mode, bool case_sensitive);
    udb_database(const udb_database&) = delete;
    udb_database& operator=(const udb_database&) = delete;

    virtual ~udb_database();
    // Creates a table shaped like the source schema and indexes; returns a record-set that appends
    // to it.
    virtual std::unique_ptr<udb_recordset> create_table(const std::u16string& name,
                                                        const udb_schema& schema,
                                                        const udb_indexes& indexes) = 0;
    // Removes the name from the table list (after a subclass dropped the table); true. A name not
    // in the list raises tk_mail_assertion (udb_db 44).
    virtual bool delete_tab(const std::u16string& name);
    // A record-set reading the named table; the mode belongs to the subclass.
    virtual std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int32_t mode) = 0;
    // A record-set over a named query's SELECT text.
    virtual std::unique_ptr<udb_recordset> get_query(const std::u16string& name,
                                                     const std::u16string& text, int32_t mode) = 0;
    // Runs one statement that produces no rows; true on success.
    virtual bool query(const std::u16string& statement) = 0;
    // Runs one statement and returns a reader of its rows, or nullptr when it produced no result.
    // The base raises tk_mail_assertion (udb_db 70): a subclass asked for rows provides it.
    virtual std::unique_ptr<udb_recordset> query_records(const std::u16string& statement);
    // Query name -> SELECT text. The base does nothing (the conversion creates no views).
    virtual void create_views(const std::map<std::u16string, std::u16string>& queries);
    // The base does nothing (the conversion creates no foreign keys).
    virtual void create_relationships(const udb_relationships& relationships);
    // True when the table list holds the name (case-insensitive unless the database is case
    // sensitive). Queries are not searched.
    virtual bool is_table_exist(const std::u16string& name) const;

    const std::u16string& get_name() const noexcept { return name_; }
    int32_t get_mode() const noexcept { return mode_; }
    bool is_case_sensitive() const noexcept { return case_sensitive_; }
    // The base tables, in the order the subclass found or created them.
    std::vector<std::u16string>& get_table_names() noexcept { return table_names_; }
    const std::vector<std::u16string>& get_table_names() const noexcept { return table_names_; }
    udb_names_map& get_names_map() noexcept { return names_map_; }
    const udb_names_map& get_names_map() const noexcept { return names_map_; }
    udb_relationships& get_relationships() noexcept { return relationships_; }
    const udb_relationships& get_relationships() const noexcept { return relationships_; }

protected:
    bool names_equal(std::u16string_view a, std::u16string_view b) const;

    int32_t mode_;
    std::u16string name_;
    bool case_sensitive_;
    std::vector<std::u16string> table_names_;
    udb_names_map names_map_;
    udb_relationships relationships_;
};
