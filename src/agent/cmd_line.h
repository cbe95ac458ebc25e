// Option handling of the console agent: the option table, parse_cmd_line, the table-names file,
// the usage text and the agent's fatal messages. Everything runs on the agent's one thread and
// writes into the converter's single instance.
#pragma once

#include <string>

class quorvex_convertor;

// Applies every option in command-line order, then checks that the DB2 database, the MySQL
// database and (without a profile) the DB2 schema were given. Returns false when an argument
// matched no option (the caller prints the usage text). Ends the process through a fatal message
// for "--help", a bad mode or log level, a missing name or an unreadable table-names file; toolkit failures
// (a log file that cannot be used, a missing profile, text that cannot be converted) are raised.
bool parse_cmd_line(quorvex_convertor& converter, int argc, const char* const* argv);

// Reads the table-names file (one name per line, empty lines skipped, a UTF-8 byte order mark
// makes every line UTF-8, otherwise the locale's charset) and makes its names the converter's
// selected tables. A file that cannot be opened is a fatal message.
void process_tab_file(quorvex_convertor& converter, const std::string& path);

// The usage text, without a final line feed.
std::string usage_text();

// Traces the text at level 3, prints it with a line feed on standard error unless the agent is
// silent, and ends the process with status -1.
[[noreturn]] void agent_fatal(const std::string& text);
