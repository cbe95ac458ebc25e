#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "common/error_handler.h"
#include "common/error_messages.h"

namespace {

constexpr int k_access_denied = 0x400000 + 1045;
constexpr int k_key_too_long = 0x400000 + 1071;

std::string report(error_handler& handler, const tk_exception& e) {
    testing::internal::CaptureStdout();
    handler.handle(e, 0);
    return testing::internal::GetCapturedStdout();
}

TEST(error_handler, level_0_prints_one_line_with_context_and_returns) {
    error_handler handler(qvx_error_message_count, qvx_error_messages);
    struct report_case {
        const char* name;
        tk_exception error;
        std::u16string table;
        int record;  // 0: table context only
        std::string printed;
    };
    const report_case cases[] = {
        {"friendly text replaces the message", tk_exception("raw", k_access_denied, 0), u"", 0,
         "Error:\nAccess denied. Verify the user name and password are correct, and you have "
         "the necessary privileges to connect to the target MySQL server.\n"},
        {"own text without a map entry", tk_exception("a\nb", 7, 0), u"", 0, "Error:\na b\n"},
        {"empty text", tk_exception(std::string(), 0), u"", 0, "Error:\nUnknown exception\n"},
        {"table context", tk_exception("x", 0), u"orders", 0, "Error:\norders: x\n"},
        {"record context", tk_exception("raw", k_key_too_long, 0), u"orders", 5,
         "Error:\norders, record #5: Primary key in the original database is too long. Restart "
         "the program with \"Skip converting indexes\" checkbox selected in order to resolve the "
         "conflict. \n"},
    };
    for (const auto& c : cases) {
        if (c.record > 0)
            handler.set_context(c.table, c.record);
        else
            handler.set_context(c.table);
        EXPECT_EQ(c.printed, report(handler, c.error)) << c.name;
    }
    handler.set_silent(true);
    EXPECT_EQ("", report(handler, tk_exception("quiet", 0)));
}

TEST(error_handler, levels_1_and_2_end_the_process) {
    auto run = [](bool silent, const tk_exception& e) {
        error_handler handler(qvx_error_message_count, qvx_error_messages);
        handler.set_silent(silent);
        dup2(STDERR_FILENO, STDOUT_FILENO);  // the death test sees standard error only
        handler.handle(e, 1);
        std::exit(0);
    };
    EXPECT_EXIT(run(false, tk_exception("stop", 1)), testing::ExitedWithCode(255), "Error:\nstop");
    EXPECT_EXIT(run(true, tk_exception("stop", 1)), testing::ExitedWithCode(255), "^$");
    EXPECT_EXIT(run(true, tk_mail_assertion("tk_log", 82)), testing::ExitedWithCode(255),
                "Internal error: Internal error: \ncode=746b5f6c6f675c3832");
}

TEST(error_handler, first_message_for_a_code_stays_and_null_table_is_internal_error) {
    const tk_error_pair extra[] = {{k_access_denied, "other"}, {42, "answer"}};
    error_handler handler(qvx_error_message_count, qvx_error_messages);
    handler.load_err_map(2, extra);
    EXPECT_EQ("Error:\nanswer\n", report(handler, tk_exception("x", 42, 0)));
    EXPECT_EQ(0u, report(handler, tk_exception("x", k_access_denied, 0)).find("Error:\nAccess denied."));
    EXPECT_THROW(handler.load_err_map(0, nullptr), tk_mail_assertion);
}

}  // namespace
