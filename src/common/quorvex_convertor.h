// The converter: the one object of a process that holds every setting of a conversion, both
// connections and the progress of the run. Front ends create exactly one, fill its settings,
// connect both sides through it and start its run. It is a single instance: a second one, or an
// access when there is none, is an internal error.
//
// The run converts every selected table and query into a DB2 table of the chosen schema. It
// works on the two sides only through udb_database and udb_recordset; a failure of one record or
// one entry is reported through the error_handler and the run goes on. This class is the console
// agent's converter; the wizard derives from it (is_console, report_unexpected_failure).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/db2_conv.h"
#include "common/mysql_conv.h"
#include "common/udb_converter.h"
#include "tk/tk_singl.h"

class console_progress;
class db2_tn_validator;
class tk_exception;
class udb_database;
class udb_recordset;

// What a run did, counted per entry and per record.
struct conversion_summary {
    // Entries created and filled (also those with no records or definitions only).
    int32_t tables_converted = 0;
    // Entries left alone because the DB2 table existed (skip mode).
    int32_t tables_skipped = 0;
    // Entries reported as failed, and selected tables that MySQL does not have.
    int32_t tables_failed = 0;
    // Records the DB2 side accepted and did not refuse afterwards.
    int64_t records_copied = 0;
    // Records DB2 refused (each reported with its table and number).
    int64_t records_refused = 0;
};

class quorvex_convertor : public udb_converter,
                          public db2_converter_impl,
                          public mysql_converter_impl,
                          public tk_single_instance<quorvex_convertor> {
public:
    // Existing-table modes of the run.
    static constexpr int32_t mode_overwrite = 0;
    static constexpr int32_t mode_merge = 1;
    static constexpr int32_t mode_skip = 2;

    // The console agent's converter: run mode overwrite, nothing read from saved settings.
    quorvex_convertor();
    ~quorvex_convertor() override;

    // The conversion run. Failures are reported through the error_handler and do not leave it
    // (the console handler ends the process for levels 1 and 2); tk_final_exception (the user
    // stopped the run) ends it quietly. The finished flag is set when it returns.
    void run() override;
    // Whether the statement runs on the MySQL database named by the source name; any failure
    // answers false.
    bool test_query(const std::u16string& statement) override;

    std::u16string get_destination_name() const override { return destination_name_; }
    void set_destination_name(const std::u16string& name) override { destination_name_ = name; }

    // Appends the table names of the MySQL database named by the source name. Throws
    // sql_exception.
    void get_all_tables(std::vector<std::u16string>& list);

    // Reads the profile file into the settings (adding to the selection). False, with nothing
    // changed, when a key line comes before the first section. Throws tk_exception (level 1)
    // for a missing or unreadable file and for an unusable "logfile".
    bool load_profile(const std::u16string& path);
    // Writes the settings to the profile file (owner-only; failures are silent).
    void store_profile(const std::u16string& path);

    // Reports one record DB2 refused after accepting it into an insert array (the DB2 side
    // calls this through the engine's record error handler): the current table and the record's
    // number counted from 1 as context, level as the error says. May throw what the
    // error_handler throws (tk_final_exception in the wizard).
    void report_refused_record(int32_t record_number, const tk_exception& error);

    // Existing-table mode of the run: mode_overwrite, mode_merge or mode_skip.
    int32_t run_mode() const { return run_mode_; }
    void set_run_mode(int32_t mode) { run_mode_ = mode; }

    // The counts of the last run (complete once the finished flag is set).
    const conversion_summary& last_summary() const { return summary_; }
    // The summary line printed and traced at the end of a run.
    static std::string format_summary(const conversion_summary& summary);

protected:
    // True for the console agent: an empty selection converts every table, missing tables and
    // progress are printed. The wizard's converter answers false.
    virtual bool is_console() const { return true; }
    // Shows the text of a failure outside the toolkit family (memory, containers). The console
    // prints it on standard error unless silent.
    virtual void report_unexpected_failure(const char* text);
    // The two databases of a run; the caller owns them. Tests replace them with their own.
    virtual std::unique_ptr<udb_database> open_source_database();
    virtual std::unique_ptr<udb_database> open_destination_database();

private:
    enum class entry_outcome { converted, skipped, failed };

    void convert_all(udb_database& source, udb_database& destination);
    entry_outcome convert_entry(const std::u16string& name, const std::u16string& text,
                                udb_database& source, udb_database& destination,
                                db2_tn_validator& validator);
    void copy_records(udb_recordset& source, udb_recordset& destination);
    void report_entry_failure(const std::u16string& name, const tk_exception& error);
    void print_summary();
    bool console_output() const { return is_console() && !silent_; }

    int32_t run_mode_ = mode_overwrite;
    conversion_summary summary_;
    // The live progress line of the run going on (never null during a run).
    std::unique_ptr<console_progress> progress_;
};
