#include "common/quorvex_convertor.h"

#include <cstdio>

#include "common/console_progress.h"
#include "common/error_handler.h"
#include "common/init_conv.h"
#include "db2/db2_util.h"
#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"
#include "udb/udb_db.h"
#include "udb/udb_prof.h"

namespace {

const char16_t k_not_conforming[] =
    u"The structure of data source does not conform to the destination table.";

}  // namespace

quorvex_convertor::quorvex_convertor() : progress_(std::make_unique<console_progress>(false)) {
    TK_TRACE(2, "quorvex_convertor::ctor");
    // Records refused inside an insert array come back after their append returned; they are
    // reported like the records refused at once.
    db2_engine_.set_record_error_handler(
        [this](const std::u16string&, int32_t record_number, const db2_exception& error) {
            report_refused_record(record_number, error);
        });
}

quorvex_convertor::~quorvex_convertor() {
    TK_TRACE(2, "quorvex_convertor::dtor");
    db2_engine_.set_record_error_handler(nullptr);
}

// ---------------------------------------------------------------------------------------------
// The run

void quorvex_convertor::run() {
    TK_TRACE(2, "quorvex_convertor::operator()");
    init_conversion guard(&finished_, false);
    summary_ = conversion_summary();
    progress_ = std::make_unique<console_progress>(console_output() &&
                                                   console_progress::stderr_is_terminal());
    try {
        std::unique_ptr<udb_database> source = open_source_database();
        std::unique_ptr<udb_database> destination = open_destination_database();
        convert_all(*source, *destination);
        // The destination goes first, then the source (declaration order).
    } catch (const tk_final_exception&) {
        // The user stopped the run: nothing more to report.
    } catch (const tk_exception& e) {
        progress_->clear();
        error_handler::get_instance().handle(e, 1);
    } catch (const std::exception& e) {
        progress_->clear();
        TK_TRACE(3, "ERROR:\n%s", e.what());
        report_unexpected_failure(e.what());
    }
    progress_->clear();
}

void quorvex_convertor::convert_all(udb_database& source, udb_database& destination) {
    // The console converts a whole database when nothing is chosen; the wizard converts nothing.
    if (is_console() && selected_tables_.empty() && tables_and_queries_.empty())
        selected_tables_ = source.get_table_names();

    const int32_t table_count = static_cast<int32_t>(selected_tables_.size());
    table_count_ = table_count;
    TK_TRACE(3, "Converting database %s (%d tables)", TK_W(source_name_), table_count);
    if (console_output()) {
        std::printf("Converting database %s (%d tables)\n",
                    tk_to_ansi_lenient(source_name_).c_str(), table_count);
        std::fflush(stdout);
    }

    db2_tn_validator validator(selected_tables_, destination.get_table_names());
    // Queries (and tables a profile or an earlier run left in the map) take names too.
    for (const auto& entry : tables_and_queries_) {
        TK_TRACE(1, "udb_validator::add_existing_name(%s)", TK_W(entry.first));
        validator.add_existing_name(entry.first);
    }
    for (const std::u16string& name : selected_tables_)
        tables_and_queries_.emplace(name, std::u16string());

    for (const auto& [name, text] : tables_and_queries_) {
        if (stop_requested_) throw tk_final_exception();
        entry_outcome outcome = entry_outcome::failed;
        try {
            outcome = convert_entry(name, text, source, destination, validator);
        } catch (const tk_exception& e) {
            report_entry_failure(name, e);
        }
        switch (outcome) {
            case entry_outcome::converted:
                ++summary_.tables_converted;
                break;
            case entry_outcome::skipped:
                ++summary_.tables_skipped;
                break;
            case entry_outcome::failed:
                ++summary_.tables_failed;
                break;
        }
        ++tables_done_;
    }

    print_summary();
    error_handler::get_instance().set_context(std::string());
    tables_done_ = 0;
    table_count_ = 0;
}

quorvex_convertor::entry_outcome quorvex_convertor::convert_entry(const std::u16string& name,
                                                                  const std::u16string& text,
                                                                  udb_database& source,
                                                                  udb_database& destination,
                                                                  db2_tn_validator& validator) {
    set_current_table_name(name);
    current_record_ = 0;
    records_in_table_ = 0;

    if (is_console() && text.empty() && !source.is_table_exist(name)) {
        if (!silent_)
            std::fprintf(stderr, "Table %s not exists\n", tk_to_ansi_lenient(name).c_str());
        return entry_outcome::failed;
    }

    // Declared before the destination so that the destination is released first.
    std::unique_ptr<udb_recordset> reader =
        text.empty() ? source.get_table(name, 1) : source.get_query(name, text, 1);

    const bool acceptable = validator.is_acceptable(name);
    const std::u16string target = acceptable ? name : validator.get_safe_name(name);

    if (destination.is_table_exist(target)) {
        TK_TRACE(2, "Table %s already exists", TK_W(target));
        if (run_mode_ == mode_overwrite) {
            destination.delete_tab(target);
        } else if (run_mode_ == mode_skip) {
            TK_TRACE(2, "Skip existing table");
            return entry_outcome::skipped;
        }
    }

    std::unique_ptr<udb_recordset> writer;
    if (destination.is_table_exist(target)) {
        writer = destination.get_table(target, 8);
    } else {
        const udb_indexes no_indexes;
        writer = destination.create_table(target, reader->get_schema(),
                                          skip_indexes_ ? no_indexes : reader->get_indexes());
    }

    if (run_mode_ == mode_merge && !reader->get_schema().conform_to(writer->get_schema()))
        throw tk_exception(std::u16string(k_not_conforming), 0);

    if (!acceptable) {
        TK_TRACE(2, "Store generated table name '%s'", TK_W(target));
        TK_TRACE(1, "udb_validator::add_existing_name(%s)", TK_W(target));
        validator.add_existing_name(target);
        destination.get_names_map().add_tn_mapping(name, target);
    }
    // No later entry may take this name in any letter case.
    validator.add_restricted_name(target);

    const int32_t record_count = reader->get_record_count();
    records_in_table_ = record_count;
    TK_TRACE(3, "Converting table %s (%d records)", TK_W(name), record_count);
    if (console_output())
        std::printf("Converting table %s (%d records)\n", tk_to_ansi_lenient(name).c_str(),
                    record_count);

    if (record_count != 0 && !definitions_only_) copy_records(*reader, *writer);
    // The last array goes now, while a failure can still be reported for this entry.
    writer->close();
    return entry_outcome::converted;
}

void quorvex_convertor::copy_records(udb_recordset& source, udb_recordset& destination) {
    progress_->start(current_table_name_, records_in_table_);
    source.reset();
    int32_t record_number = 0;
    while (!source.is_eof()) {
        if (stop_requested_) throw tk_final_exception();
        TK_TRACE(1, "Converting %d record", record_number);
        udb_record* record = source.get_item();
        if (record == nullptr) throw tk_mail_assertion("qvx_conv", 170);
        try {
            destination.append_record(*record);
            ++summary_.records_copied;
        } catch (const db2_exception& e) {
            TK_TRACE(2, "n_mode=%d, error=%d", run_mode_, e.code());
            ++summary_.records_refused;
            progress_->clear();
            error_handler& handler = error_handler::get_instance();
            handler.set_context(current_table_name_, record_number + 1);
            handler.handle(e, 0);
        }
        source.next();
        current_record_.store(++record_number, std::memory_order_relaxed);
        progress_->update(record_number);
    }
    progress_->clear();
}

void quorvex_convertor::report_refused_record(int32_t record_number, const tk_exception& error) {
    TK_TRACE(2, "n_mode=%d, error=%d", run_mode_, error.code());
    // The record was counted as copied when its append returned.
    --summary_.records_copied;
    ++summary_.records_refused;
    progress_->clear();
    error_handler& handler = error_handler::get_instance();
    handler.set_context(current_table_name(), record_number);
    handler.handle(error, 0);
}

void quorvex_convertor::report_entry_failure(const std::u16string& name,
                                             const tk_exception& error) {
    progress_->clear();
    error_handler& handler = error_handler::get_instance();
    handler.set_context(name);
    handler.handle(error, 0);
}

std::string quorvex_convertor::format_summary(const conversion_summary& summary) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "Summary: %d tables converted, %d skipped, %d failed; %lld records copied, "
                  "%lld refused",
                  summary.tables_converted, summary.tables_skipped, summary.tables_failed,
                  static_cast<long long>(summary.records_copied),
                  static_cast<long long>(summary.records_refused));
    return line;
}

void quorvex_convertor::print_summary() {
    const std::string line = format_summary(summary_);
    TK_TRACE(3, "%s", line.c_str());
    if (console_output()) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
}

void quorvex_convertor::report_unexpected_failure(const char* text) {
    if (silent_) return;
    std::fprintf(stderr, "%s\n", text);
}

std::unique_ptr<udb_database> quorvex_convertor::open_source_database() {
    return open_mysql_db(source_name_);
}

std::unique_ptr<udb_database> quorvex_convertor::open_destination_database() {
    return open_db(schema_);
}

// ---------------------------------------------------------------------------------------------
// Settings

bool quorvex_convertor::test_query(const std::u16string& statement) {
    try {
        std::unique_ptr<udb_database> database = open_mysql_db(source_name_);
        return database->query(statement);
    } catch (const std::exception& e) {
        TK_TRACE(2, "quorvex_convertor::test_query: %s", e.what());
        return false;
    }
}

void quorvex_convertor::get_all_tables(std::vector<std::u16string>& list) {
    TK_TRACE(2, "quorvex_convertor::get_all_tables");
    std::unique_ptr<udb_database> database = open_mysql_db(source_name_);
    const std::vector<std::u16string>& names = database->get_table_names();
    list.insert(list.end(), names.begin(), names.end());
}

bool quorvex_convertor::load_profile(const std::u16string& path) {
    udb_profile profile;
    if (!profile.load(path)) return false;
    udb_converter::load_profile(profile);
    mysql_converter_impl::load_profile(profile);
    db2_converter_impl::load_profile(profile);
    return true;
}

void quorvex_convertor::store_profile(const std::u16string& path) {
    udb_profile profile;
    udb_converter::store_profile(profile);
    mysql_converter_impl::store_profile(profile);
    db2_converter_impl::store_profile(profile);
    profile.store(path);
}
