#include "agent/cmd_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "common/error_handler.h"
#include "common/quorvex_convertor.h"
#include "tk/tk_cmdli.h"
#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {

enum option_number {
    opt_dest = 0,
    opt_help = 1,
    opt_logfile = 2,
    opt_mode = 3,
    opt_db2pswd = 4,
    opt_db2schema = 5,
    opt_db2user = 6,
    opt_mysqlh = 7,
    opt_mysqlu = 8,
    opt_mysqlp = 9,
    opt_port = 10,
    opt_profile = 11,
    opt_silent = 12,
    opt_skip_idx = 13,
    opt_src = 14,
    opt_tab_def = 15,
    opt_tab_file = 16,
    opt_loglevel = 17,
};

// Scanned in this order; the first prefix that starts an argument wins.
const tk_cmd_option k_options[] = {
    {opt_db2pswd, "--db2pswd="}, {opt_db2schema, "--db2schema="}, {opt_db2user, "--db2user="},
    {opt_dest, "--dest="},       {opt_help, "--help"},            {opt_logfile, "--logfile="},
    {opt_loglevel, "--loglevel="},
    {opt_mode, "--mode="},       {opt_mysqlh, "--mysqlh="},       {opt_mysqlu, "--mysqlu="},
    {opt_mysqlp, "--mysqlp="},   {opt_port, "--port="},           {opt_profile, "--profile="},
    {opt_silent, "--silent"},    {opt_skip_idx, "--skip_idx"},    {opt_src, "--src="},
    {opt_tab_def, "--tab_def"},  {opt_tab_file, "--tab_file="},   {0, ""},
};

// Options whose value never reaches the trace file.
const char* const k_secret_prefixes[] = {"--db2pswd=", "--mysqlp="};

const char k_usage[] =
    "Usage: QVXAGENT.EXE OPTIONS\n"
    "\n"
    "   --db2pswd=...   DB2 user password\n"
    "   --db2schema=... DB2 schema name\n"
    "   --db2user=...   DB2 user name\n"
    "   --dest=...      DB2 database name\n"
    "   --help          display this help message and exit\n"
    "   --logfile=...   path to the file where execution trace will be written\n"
    "   --loglevel=...  lowest level of the lines written to the trace\n"
    "                   (1 - every detail, 2 - no per-record lines, 3 - errors and tables)\n"
    "   --mode=...      how to process tables that already exist in DB2 database\n"
    "                   (0 - overwrite, 1 - merge, 2 - skip)\n"
    "   --mysqlh=...    MySQL server IP address or network name\n"
    "   --mysqlu=...    MySQL user name\n"
    "   --mysqlp=...    MySQL user password\n"
    "   --port=...      MySQL port\n"
    "   --profile=...   path to the file to load conversion settings from\n"
    "   --silent        disable program output\n"
    "   --skip_idx      skip converting indexes\n"
    "   --src=...       MySQL database name\n"
    "   --tab_def       convert table definitions only\n"
    "   --tab_file=...  file containing the list of tables to convert\n"
    "                   (one table name per line)\n"
    "\n"
    "NOTES:\n"
    "   1) If you specified a profile, there is no need to specify any other\n"
    "      parameters\n"
    "   2) The default mode is 'overwrite'. You can change it using '--mode'\n"
    "      parameter\n"
    "   3) You can omit 'mysqlh' parameter to connect local MySQL server\n"
    "   4) It is necessary to specify 'port' parameter only if it deffers from\n"
    "      the default MySQL port 3306\n"
    "   5) If you omit 'tab_file' parameter, all database tables will be converted\n"
    "   6) If you omit 'mode' parameter, default mode 'overwrite the entire\n"
    "      database' will be used.\n"
    "   7) Command line parameters that contain spaces should be enclosed in\n"
    "      quotes (for example --dest=\"my database.mdb\")";

constexpr int k_version_major = 1;
constexpr int k_version_minor = 0;

void trace_arguments(int argc, const char* const* argv) {
    for (int arg_idx = 0; arg_idx < argc; ++arg_idx) {
        const char* argument = argv[arg_idx];
        const char* secret = nullptr;
        for (const char* prefix : k_secret_prefixes)
            if (std::strncmp(argument, prefix, std::strlen(prefix)) == 0) secret = prefix;
        if (secret != nullptr)
            TK_TRACE(1, "parameter #%d: %s***", arg_idx, secret);
        else
            TK_TRACE(1, "parameter #%d: %s", arg_idx, argument);
    }
}

// A mode is accepted only as the plain decimal text of 0, 1 or 2 ("01", "+1" and "" are not).
void apply_mode(quorvex_convertor& converter, const std::string& text) {
    long mode = std::strtol(text.c_str(), nullptr, 10);
    TK_TRACE(2, "\tgot mode %ld", mode);
    if (std::to_string(mode) != text || mode < quorvex_convertor::mode_overwrite ||
        mode > quorvex_convertor::mode_skip)
        agent_fatal("Invalid merge/overwrite mode");
    converter.set_run_mode(static_cast<int32_t>(mode));
}

// The trace threshold, given like a mode: the plain decimal text of 1, 2 or 3. Large migrations
// keep only levels 2 and 3, since level 1 writes several lines for every value copied.
void apply_loglevel(const std::string& text) {
    long level = std::strtol(text.c_str(), nullptr, 10);
    TK_TRACE(2, "\tgot loglevel %ld", level);
    if (std::to_string(level) != text || level < 1 || level > 3) agent_fatal("Invalid log level");
    if (tk_log::has_instance()) tk_log::get_instance().set_threshold(static_cast<int>(level));
}

bool agent_silent() {
    if (quorvex_convertor::has_instance()) return quorvex_convertor::get_instance().silent();
    return error_handler::has_instance() && error_handler::get_instance().silent();
}

bool starts_with_bom(const std::string& line) { return line.rfind("\xEF\xBB\xBF", 0) == 0; }

}  // namespace

std::string usage_text() {
    char first_line[32];
    std::snprintf(first_line, sizeof first_line, "QVXAGENT v%d.%d\n", k_version_major,
                  k_version_minor);
    return first_line + std::string(k_usage);
}

void agent_fatal(const std::string& text) {
    TK_TRACE(3, "%s", text.c_str());
    if (!agent_silent()) {
        std::fputs(text.c_str(), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    std::exit(-1);
}

bool parse_cmd_line(quorvex_convertor& converter, int argc, const char* const* argv) {
    TK_TRACE(1, "parse_cmd_line");
    trace_arguments(argc, argv);

    std::u16string db2_user, db2_password, db2_schema;
    std::string mysql_host, mysql_user, mysql_password, mysql_port = "3306";
    bool profile_loaded = false;

    tk_cmdli scanner(k_options, argc, argv);
    while (scanner.next()) {
        const std::string& value = scanner.value();
        switch (scanner.option()) {
            case opt_dest:
                TK_TRACE(1, "parse_cmd_line - got dest %s", value.c_str());
                converter.set_destination_name(tk_from_ansi(value));
                break;
            case opt_help:
                agent_fatal(usage_text());
            case opt_logfile:
                TK_TRACE(1, "parse_cmd_line - got logfile %s", value.c_str());
                converter.set_logfile(value);
                break;
            case opt_loglevel:
                apply_loglevel(value);
                break;
            case opt_mode:
                apply_mode(converter, value);
                break;
            case opt_db2pswd:
                db2_password = tk_from_ansi(value);
                break;
            case opt_db2schema:
                db2_schema = tk_from_ansi(value);
                break;
            case opt_db2user:
                db2_user = tk_from_ansi(value);
                break;
            case opt_mysqlh:
                mysql_host = value;
                break;
            case opt_mysqlu:
                mysql_user = value;
                break;
            case opt_mysqlp:
                mysql_password = value;
                break;
            case opt_port:
                mysql_port = value;
                break;
            case opt_profile: {
                std::u16string path = tk_from_ansi(value);
                TK_TRACE(1, "parse_cmd_line - got profile %s", value.c_str());
                profile_loaded = converter.load_profile(path);
                break;
            }
            case opt_silent:
                TK_TRACE(1, "parse_cmd_line - silent mode is ON");
                converter.set_silent(true);
                error_handler::get_instance().set_silent(true);
                break;
            case opt_skip_idx:
                TK_TRACE(2, "\tskip converting indexes");
                converter.set_skip_indexes(true);
                break;
            case opt_src:
                TK_TRACE(1, "parse_cmd_line - got src %s", value.c_str());
                converter.set_source_name(tk_from_ansi(value));
                break;
            case opt_tab_def:
                TK_TRACE(2, "\tconvert table definitions only");
                converter.set_definitions_only(true);
                break;
            case opt_tab_file:
                TK_TRACE(2, "\tparse_cmd_line - got tab_file %s", value.c_str());
                process_tab_file(converter, value);
                break;
            default:
                break;
        }
    }

    if (scanner.unmatched_count() > 0) return false;
    if (converter.get_destination_name().empty())
        agent_fatal("You should enter DB2 database name");
    if (converter.source_name().empty()) agent_fatal("You should enter MySQL database name");
    if (!profile_loaded) {
        if (db2_schema.empty()) agent_fatal("You should enter DB2 schema name");
        converter.store_db2_settings(converter.get_destination_name(), db2_user, db2_password);
        converter.set_schema(db2_schema);
        converter.store_mysql_settings(mysql_host, mysql_user, mysql_password, mysql_port);
    }
    return true;
}

void process_tab_file(quorvex_convertor& converter, const std::string& path) {
    TK_TRACE(1, "process_tab_file(%s)", path.c_str());
    std::error_code error;
    std::ifstream file;
    if (!std::filesystem::is_directory(path, error)) file.open(path, std::ios::binary);
    if (!file.is_open())
        agent_fatal("Table names file does not exist.\nPlease verify the correct path/name was given.");

    // Lines are read whole: a name is never cut or split, whatever its length.
    std::vector<std::u16string> names;
    bool charset_known = false;
    bool utf8 = false;
    std::string line;
    while (std::getline(file, line)) {
        bool ended_by_line_feed = !file.eof();
        if (ended_by_line_feed && !line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (!charset_known) {
            charset_known = true;
            utf8 = starts_with_bom(line);
            if (utf8) line.erase(0, 3);
            if (line.empty()) continue;
        }
        names.push_back(utf8 ? tk_from_utf8(line) : tk_from_ansi(line));
        TK_TRACE(1, "process_tab_file - table '%s'", TK_W(names.back()));
    }
    converter.set_selected_tables(std::move(names));
}
