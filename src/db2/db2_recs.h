// Record sets over DB2 tables and statements. A db2_recordset opened on a table learns its columns
// from the DB2 catalog and either reads the table through a cursor in arrays of 100 rows, or (mode
// 2, and mode 8 from the first append on) appends records: each value goes into a column-wise
// parameter array (db2_cache, one db2_cache_column per column) that one prepared INSERT sends
// whenever 100 rows are buffered, and once more at close(). Large objects travel as data at
// execution. Identity columns are switched off before the first row and on again at close(),
// continuing after the largest value.
//
// A record that DB2 refuses inside an array does not cost the other rows: the good rows are
// stored and every refused record goes to the engine's record error handler with its own number.
// A value that cannot fit its column is refused by append_record itself (db2_exception), before it
// enters the array.
//
// The caller owns a record set and releases it before its database; one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db2/db2_cli_lib.h"
#include "udb/udb_db.h"

// What the catalog says about a column beyond its field descriptor.
struct db2_column_info {
    SQLSMALLINT sql_type = SQL_UNKNOWN_TYPE;
    // COLUMN_DEF without its outer apostrophes; has_default is false when the column has none.
    bool has_default = false;
    std::u16string default_text;
    // Capacity of a text cell in UTF-16 units, terminator not counted.
    uint32_t text_units = 0;
};

// One column of the parameter or row array: a block of cells, one per row, and their
// length/indicator words. Cells are written by write() (append) or by the CLI (fetch).
class db2_cache_column {
public:
    // How a cell holds its value.
    enum class cell_kind : uint8_t {
        text, decimal_text, int32, int16, int8, bit, dbl, real, int64, timestamp, bytes,
        blob_at_exec, text_at_exec,
    };

    db2_cache_column(int index, const t_ftd& column, const db2_column_info& info, int rows);
    db2_cache_column(const db2_cache_column&) = delete;
    db2_cache_column& operator=(const db2_cache_column&) = delete;

    // Puts the value into the cell of `row`: the column's default for VT_EMPTY, and for VT_NULL in a
    // NOT NULL column; NULL when nothing remains. Throws db2_exception for a value that does not
    // fit the column (too long, out of range, a date or time outside DB2's calendar and clock) and
    // for a VT_ERROR value (a source value that did not convert, named in the message); the row is
    // then left for the next record to reuse.
    void write(int row, const ole_variant& value);
    // The value of the fetched cell; a NULL cell gives VT_EMPTY. Large objects are read through
    // their locators on the two extra statements.
    ole_variant read(int row) const;

    // Binds the cells as parameter `index + 1` starting at `first_row` (column-wise arrays).
    void bind_parameter(SQLHANDLE stmt, int first_row);
    // Binds the cells as result column `index + 1` (locators for large objects).
    void bind_column(SQLHANDLE stmt);
    // Data at execution: whether `token` (the value pointer SQLParamData hands back) belongs to this
    // column, and the next row of [first, last] whose value is due.
    bool owns_token(const void* token) const;
    int next_pending_row(int first, int last);
    void reset_pending(int first) { pending_row_ = first; }
    // Sends the pending value of `row` with SQLPutData.
    SQLRETURN put_data(SQLHANDLE stmt, int row);
    bool is_at_exec() const { return kind_ == cell_kind::blob_at_exec || kind_ == cell_kind::text_at_exec; }

    const std::u16string& name() const { return name_; }
    int index() const { return index_; }
    SQLSMALLINT sql_type() const { return sql_type_; }
    uint32_t cell_size() const { return cell_size_; }
    cell_kind kind() const { return kind_; }
    const ole_variant& default_value() const { return default_; }
    SQLLEN indicator(int row) const { return indicators_[row]; }

private:
    unsigned char* cell(int row) const { return cells_.get() + size_t(row) * cell_size_; }
    [[noreturn]] void refuse(const std::string& reason) const;
    void write_text(int row, const ole_variant& value);
    void write_decimal_text(int row, const ole_variant& value);
    void write_integer(int row, const ole_variant& value);
    void write_float(int row, const ole_variant& value);
    void write_timestamp(int row, const ole_variant& value);
    void write_bytes(int row, const ole_variant& value);
    void write_at_exec(int row, const ole_variant& value);
    ole_variant read_locator(int row) const;

    std::u16string name_;
    int index_;
    SQLSMALLINT sql_type_;
    uint32_t size_;
    uint32_t cell_size_ = 0;
    uint32_t text_units_ = 0;   // text cells: capacity in units, terminator not counted
    int scale_;
    int precision_;
    bool not_null_;
    ole_variant default_;
    cell_kind kind_ = cell_kind::text;
    SQLSMALLINT c_type_ = SQL_C_WCHAR;
    SQLSMALLINT bound_sql_type_ = SQL_WCHAR;
    int rows_;
    std::unique_ptr<unsigned char[]> cells_;
    std::unique_ptr<SQLLEN[]> indicators_;
    // Data at execution: one value per row, kept between arrays so that their buffers are reused.
    std::vector<std::vector<unsigned char>> lob_bytes_;
    std::vector<std::u16string> lob_texts_;
    int pending_row_ = 0;
    // Reading large objects: SQLGetLength runs on the first, SQLGetSubString on the second.
    cli_statement length_statement_;
    cli_statement substring_statement_;
};

// The array of rows shared by every column: parameters of the INSERT, or the row array of a cursor.
class db2_cache {
public:
    static constexpr int default_rows = 100;

    // A row the CLI refused when its array was sent, with DB2's message.
    struct refused_row {
        int row;
        std::string message;
    };

    explicit db2_cache(int rows = default_rows);
    ~db2_cache();
    db2_cache(const db2_cache&) = delete;
    db2_cache& operator=(const db2_cache&) = delete;

    // One column per described column, in order.
    void allocate(const udb_schema& columns, const std::vector<db2_column_info>& infos);
    // Prepares "INSERT INTO "table"(...) VALUES (?, ...)" and binds every column.
    void prepare_insert(const std::u16string& table);
    // Binds the columns to the cursor `stmt` with a row array of `rows` rows.
    void bind_for_reading(SQLHANDLE stmt);
    // Sends rows 0..n-1. The rows DB2 refuses are found and returned; every other row is stored.
    std::vector<refused_row> execute(int n);

    bool has_columns() const { return !columns_.empty(); }
    bool is_insert() const { return insert_; }
    bool is_bound() const { return bound_; }
    int rows() const { return rows_; }
    size_t size() const { return columns_.size(); }
    db2_cache_column& column(size_t column_idx) { return *columns_[column_idx]; }
    const db2_cache_column& column(size_t column_idx) const { return *columns_[column_idx]; }

private:
    void bind_parameters(int first_row);
    void set_paramset_size(int n);
    // SQLExecute of rows [first, first + n) including their data at execution.
    SQLRETURN run(int first, int n);

    int rows_;
    std::vector<std::unique_ptr<db2_cache_column>> columns_;
    cli_statement insert_statement_;
    bool insert_ = false;
    bool bound_ = false;
    int paramset_size_ = 0;
    // Whether the CLI processes an array row by row and reports each row in status_.
    bool non_atomic_ = false;
    bool status_bound_ = false;
    std::vector<SQLUSMALLINT> status_;
};

class db2_recordset : public udb_recordset {
public:
    static constexpr int32_t mode_append = 2;
    static constexpr int32_t mode_merge = 8;

    // A table of the schema: columns from the catalog, the row count, and a cursor that learns
    // precision, scale and identity columns; in append mode the cursor is closed at once. The
    // schema is the one the statements run in (the upper-cased current schema).
    db2_recordset(const std::u16string& schema, const std::u16string& table, int32_t mode);
    // A statement: executed at once; its result columns are described.
    db2_recordset(const std::u16string& name, const std::u16string& statement_text);
    // Finishes an append that close() did not finish (failures are only traced), then cleans up.
    ~db2_recordset() override;

    void append_record(const udb_record& record) override;
    udb_record* get_item() override;
    bool is_eof() override;
    void next() override;
    void reset() override;
    // Sends the buffered rows and switches identities on again; throws db2_exception when DB2
    // refuses that, or whatever the record error handler throws.
    void close() override;

    // Catalog details of a column, in column order.
    const db2_column_info& get_column_info(size_t column_idx) const { return infos_[column_idx]; }
    // Records received by append_record so far.
    int32_t get_appended_count() const { return appended_count_; }

private:
    void init_schema();
    void init_cursor();
    void deinit_cursor();
    void disable_all_identities();
    void enable_all_identities();
    void send(int n);
    void report(const std::vector<db2_cache::refused_row>& refused);

    std::u16string table_name_;
    std::u16string schema_name_;
    std::vector<db2_column_info> infos_;
    cli_statement cursor_;
    SQLULEN rows_fetched_ = 0;
    int current_row_ = -1;
    int last_row_ = -1;
    bool end_ = false;
    bool identities_off_ = false;
    bool closed_ = false;
    int32_t appended_count_ = 0;
    std::vector<int32_t> row_records_;
    std::unique_ptr<udb_record> item_;
    db2_cache cache_;
};

// The type code of a CLI SQL type.
VARTYPE db2_vartype_of(SQLSMALLINT sql_type);
// The value of a catalog default text (outer apostrophes already removed) for a column of this type:
// text and dates lose a further pair of apostrophes and doubled apostrophes become one, a DB2
// timestamp text (yyyy-mm-dd-hh.mm.ss.ffffff) becomes its date. A null text is an internal error
// (db2_recs 718).
ole_variant db2_default_value(const std::u16string* text, VARTYPE vt);
