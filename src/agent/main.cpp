// qvxagent: runs one conversion of a MySQL database into DB2 unattended, from command-line
// options. Creates the trace log ("debug.log" in the current folder), the error handler and the
// converter, fills the converter from the options (and a profile), connects DB2 and MySQL and
// runs the conversion. Ends with status 0 after a completed run (also when single records or
// tables were reported and skipped on the way), -1 (255) after the usage text, a fatal message,
// a failure before the run (connecting, the profile) or an error that ends the run.
#include <clocale>
#include <cstdio>
#include <exception>

#include "agent/cmd_line.h"
#include "common/error_handler.h"
#include "common/error_messages.h"
#include "common/quorvex_convertor.h"
#include "tk/tk_errco.h"
#include "tk/tk_log.h"

int main(int argc, char** argv) {
    // Narrow text (options, table-names files, messages) is in the user's locale charset.
    std::setlocale(LC_ALL, "");

    tk_log log("debug.log", true, 1, false);
    error_handler handler(qvx_error_message_count, qvx_error_messages);
    try {
        quorvex_convertor converter;
        if (argc < 2 || !parse_cmd_line(converter, argc, argv)) agent_fatal(usage_text());
        converter.connect_db2_server(converter.get_destination_name());
        converter.connect_mysql_server();
        // The run reports its own failures; levels 1 and 2 end the process inside the handler.
        converter.run();
    } catch (const tk_exception& e) {
        handler.handle(e, 0);
        // Only failures before the run arrive here (a connection, the profile, the log file):
        // nothing was converted, so even a level-0 error must not end as a success.
        return -1;
    } catch (const std::exception& e) {
        TK_TRACE(3, "ERROR:\n%s", e.what());
        if (!handler.silent()) {
            std::fputs(e.what(), stderr);
            std::fputc('\n', stderr);
            std::fflush(stderr);
        }
        return -1;
    }
    return 0;
}
