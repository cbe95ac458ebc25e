#include <gtest/gtest.h>

#include "common/quorvex_convertor.h"

namespace {

TEST(quorvex_convertor, starts_with_console_defaults) {
    quorvex_convertor converter;
    EXPECT_EQ(quorvex_convertor::mode_overwrite, converter.run_mode());
    EXPECT_EQ("3306", converter.mysql_port());
    EXPECT_FALSE(converter.silent());
    EXPECT_FALSE(converter.skip_indexes());
    EXPECT_FALSE(converter.definitions_only());
    EXPECT_FALSE(converter.is_connected());
    EXPECT_TRUE(converter.dump_options().new_version);
    EXPECT_FALSE(converter.dump_options().line_break);
}

TEST(quorvex_convertor, stores_settings_as_the_setters_define) {
    quorvex_convertor converter;
    converter.store_mysql_settings("  db.example  ", " bob", " pw ", "   ");
    EXPECT_EQ("db.example", converter.mysql_host());
    EXPECT_EQ("bob", converter.mysql_user());
    EXPECT_EQ("pw", converter.mysql_password());
    EXPECT_EQ("3306", converter.mysql_port());

    converter.store_db2_settings(u"SAMPLE", u"db2inst1", u"secret");
    EXPECT_EQ(u"SAMPLE", converter.get_destination_name());
    EXPECT_EQ(u"SAMPLE", converter.destination_name());
    EXPECT_EQ(u"db2inst1", converter.db2_user());
    EXPECT_EQ(u"secret", converter.db2_password());
    converter.set_schema(u"myschema");
    EXPECT_EQ(u"MYSCHEMA", converter.schema());
}

TEST(quorvex_convertor, is_a_single_instance) {
    quorvex_convertor converter;
    EXPECT_EQ(&converter, &quorvex_convertor::get_instance());
    EXPECT_THROW(quorvex_convertor second, tk_mail_assertion);
    EXPECT_EQ(&converter, &quorvex_convertor::get_instance());
}

TEST(quorvex_convertor, refuses_unusable_log_files_and_keeps_the_name) {
    quorvex_convertor converter;
    converter.set_logfile("");
    EXPECT_EQ("", converter.log_file_name());
    try {
        converter.set_logfile("/no/such/folder/trace.log");
        ADD_FAILURE() << "nothing raised";
    } catch (const tk_exception& e) {
        EXPECT_EQ(1, e.level());
        EXPECT_STREQ("Logfile path does not exist.\nPlease verify the correct path was given.",
                     e.what());
    }
    EXPECT_EQ("", converter.log_file_name());
}

}  // namespace
