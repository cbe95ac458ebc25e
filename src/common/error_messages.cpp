#include "common/error_messages.h"

namespace {
constexpr int32_t mysql_code(int error_number) { return 0x400000 + error_number; }

const char k_in_use[] =
    "Failed to overwrite MySQL database. It is being used by\n"
    "another application. Specify a different destination name.";
const char k_cannot_connect[] =
    "Can't connect to the MySQL server. Check to verify that MySQL server\n"
    "is launched and the correct host/port values were given.";
const char k_auth_protocol[] =
    "The program does not support authentication protocol requested by server.\n"
    "See 'Troubleshooting' article of the product documentation.";
}  // namespace

const tk_error_pair qvx_error_messages[] = {
    {mysql_code(1044),
     "Access denied. Ask your system administrator to grant you\n"
     "the necessary privileges to write into the database."},
    {mysql_code(1045),
     "Access denied. Verify the user name and password are correct, and you have\n"
     "the necessary privileges to connect to the target MySQL server."},
    {mysql_code(1062),
     "Duplicate field values being used for an unique index were found.\n"
     "See 'Troubleshooting' article of the product documentation\n"
     "for solution."},
    {mysql_code(1071),
     "Primary key in the original database is too long.\n"
     "Restart the program with \"Skip converting indexes\"\n"
     "checkbox selected in order to resolve the conflict.\n"},
    {mysql_code(1011), k_in_use},
    {mysql_code(1130),
     "You are not allowed to connect to the destination MySQL server.\n"
     "Ask your system administrator to grant you necessary privileges\n"
     "to create new databases on target MySQL server."},
    {mysql_code(1051), k_in_use},
    {mysql_code(2003), k_cannot_connect},
    {mysql_code(2005), k_cannot_connect},
    {mysql_code(2006),
     "Transferred value is too big. Increase MySQL max packet size and try\n"
     "again. See 'Troubleshooting' article of the product documentation."},
    {mysql_code(1249), k_auth_protocol},
    {mysql_code(1250), k_auth_protocol},
};

const int qvx_error_message_count =
    static_cast<int>(sizeof qvx_error_messages / sizeof qvx_error_messages[0]);
