#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tk/tk_errco.h"
#include "tk/tk_singl.h"

namespace {

struct lonely : tk_single_instance<lonely> {};

std::string message_of(void (*raise)()) {
    try {
        raise();
    } catch (const tk_exception& e) {
        EXPECT_EQ(2, e.level());
        EXPECT_EQ(0, e.code());
        return e.what();
    }
    return "(nothing raised)";
}

TEST(tk_errco, assertion_location_is_hex_of_source_backslash_line) {
    EXPECT_STREQ("Internal error: \ncode=746b5f73696e676c5c3539",
                 tk_mail_assertion("tk_singl", 59).what());
}

TEST(tk_errco, single_instance_violations_name_their_line) {
    struct violation {
        const char* name;
        void (*raise)();
        const char* location;  // tk_singl\NN
    };
    const violation cases[] = {
        {"access without instance", [] { lonely::get_instance(); }, "746b5f73696e676c5c3539"},
        {"pointer without instance", [] { lonely::instance_ptr(); }, "746b5f73696e676c5c3636"},
        {"second instance", [] { lonely first, second; }, "746b5f73696e676c5c3335"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::string("Internal error: \ncode=") + c.location, message_of(c.raise))
            << c.name;
    // The failed second construction left the first registration cleared with its owner.
    EXPECT_FALSE(lonely::has_instance());
}

TEST(tk_errco, empty_message_reads_unknown_exception) {
    EXPECT_STREQ("Unknown exception", tk_exception(std::string(), 1).what());
    EXPECT_STREQ("Unknown exception", tk_exception(0).what());
}

TEST(tk_errco, system_error_carries_number_and_text) {
    errno = EACCES;
    tk_exception_ex e("Cannot open: ", 0);
    EXPECT_EQ(EACCES, e.code());
    EXPECT_EQ(0, e.level());
    EXPECT_EQ(std::string("Cannot open: ") + std::strerror(EACCES), e.what());
}

}  // namespace
