// qvxagent: runs one conversion of a MySQL database into DB2 unattended, from command-line
// options. Creates the trace log ("debug.log" in the current folder), the error handler and the
// converter, fills the converter from the options, and ends with status 0 after a completed run
// or -1 (255) after the usage text, a fatal message or a failure.
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
        // Connecting both servers and the run are not part of this build.
        agent_fatal(
            "qvxagent: the options are valid, but connecting to the servers and converting are "
            "not available in this build yet.");
    } catch (const tk_exception& e) {
        handler.handle(e, 0);
        // A failure that reaches this point stopped the agent before anything was converted:
        // even a level-0 error must not end as a success.
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
