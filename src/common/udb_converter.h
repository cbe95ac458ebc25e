// The database-neutral part of the converter: what to convert (selected tables, the
// tables-and-queries map, the queries kept for profiles), the options of the run and the
// progress counters. The run writes the counters and the current table name; the wizard reads
// them from its window thread while the run goes on, so the counters are atomic 32-bit values and
// the name is handed out as a copy taken under a lock. Everything else is written only while no
// run is going on.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/tk_converter.h"

class udb_profile;

class udb_converter : public tk_converter {
public:
    // Name to SELECT text; an empty text marks a table. Ordered code unit by code unit.
    using query_map = std::map<std::u16string, std::u16string>;

    udb_converter();
    ~udb_converter() override;

    // Whether the statement runs on the MySQL database named by the source name.
    virtual bool test_query(const std::u16string& statement) = 0;

    // Existing-table mode as saved in profiles (0 overwrite, 1 merge, 2 skip).
    int32_t stored_mode() const { return stored_mode_; }
    void set_stored_mode(int32_t mode) { stored_mode_ = mode; }

    bool convert_views() const { return convert_views_; }
    void set_convert_views(bool on) { convert_views_ = on; }
    // Create the tables without their indexes.
    bool skip_indexes() const { return skip_indexes_; }
    void set_skip_indexes(bool on) { skip_indexes_ = on; }
    // Create the tables but copy no rows.
    bool definitions_only() const { return definitions_only_; }
    void set_definitions_only(bool on) { definitions_only_ = on; }

    // Table names chosen for the run, in order.
    const std::vector<std::u16string>& selected_tables() const { return selected_tables_; }
    std::vector<std::u16string>& selected_tables() { return selected_tables_; }
    void set_selected_tables(std::vector<std::u16string> tables) {
        selected_tables_ = std::move(tables);
    }
    // What the run converts: tables (empty text) and queries.
    const query_map& tables_and_queries() const { return tables_and_queries_; }
    query_map& tables_and_queries() { return tables_and_queries_; }
    // User queries defined but not selected (profiles and the wizard only).
    const query_map& available_queries() const { return available_queries_; }
    query_map& available_queries() { return available_queries_; }
    // Empties the selected tables, the tables-and-queries map and the available queries.
    void clear_selection();

    // Reads "Selected Tables", "Available Queries" and "Generic settings". Adds to the selection
    // (a table also joins the selected tables); an empty value leaves its setting unchanged. A
    // "mode" other than 0, 1 or 2 is ignored. Throws the level-1 errors of set_logfile for an
    // unusable "logfile" (what was read before stays applied).
    void load_profile(const udb_profile& profile);
    // Writes the same sections. The selected tables are written only through the
    // tables-and-queries map.
    void store_profile(udb_profile& profile) const;

    // Progress of the current run; safe to read from another thread while the run writes them.
    std::u16string current_table_name() const;
    int32_t records_in_table() const { return records_in_table_.load(std::memory_order_relaxed); }
    int32_t current_record() const { return current_record_.load(std::memory_order_relaxed); }
    int32_t table_count() const { return table_count_.load(std::memory_order_relaxed); }
    int32_t tables_done() const { return tables_done_.load(std::memory_order_relaxed); }

protected:
    void set_current_table_name(const std::u16string& name);

    int32_t stored_mode_ = 0;
    std::u16string current_table_name_;
    mutable std::mutex current_table_lock_;
    std::atomic<int32_t> records_in_table_{0};
    std::atomic<int32_t> current_record_{0};
    std::atomic<int32_t> table_count_{0};
    std::atomic<int32_t> tables_done_{0};
    std::vector<std::u16string> selected_tables_;
    query_map tables_and_queries_;
    query_map available_queries_;
    bool convert_views_ = false;
    bool skip_indexes_ = false;
    bool definitions_only_ = false;
};
