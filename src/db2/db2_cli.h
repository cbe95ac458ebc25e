// Our own declarations of the DB2 Call Level Interface: the types, constants and function
// signatures this system uses, written from IBM's CLI reference. The ABI is the 64-bit ODBC one
// that IBM's libdb2o.so (and unixODBC's libodbc.so.2) implement on Linux: handles are pointers,
// SQLLEN/SQLULEN are 64-bit, SQLWCHAR is one UTF-16 unit in native byte order, SQLSMALLINT and
// SQLRETURN are 16-bit, SQLINTEGER 32-bit. Length and indicator arrays are SQLLEN wide.
//
// Nothing here is linked: the functions are reached through the pointer types below, filled by
// cli_library (db2_cli_lib.h) with dlsym. The stand-in db2sim includes this header to export
// functions of exactly these types. Only src/db2 and db2sim include it.
#pragma once

#include <cstdint>

using SQLCHAR = unsigned char;
using SQLWCHAR = char16_t;
using SQLSCHAR = signed char;
using SQLSMALLINT = std::int16_t;
using SQLUSMALLINT = std::uint16_t;
using SQLINTEGER = std::int32_t;
using SQLUINTEGER = std::uint32_t;
using SQLLEN = std::int64_t;
using SQLULEN = std::uint64_t;
using SQLBIGINT = std::int64_t;
using SQLUBIGINT = std::uint64_t;
using SQLREAL = float;
using SQLDOUBLE = double;
using SQLRETURN = SQLSMALLINT;
using SQLPOINTER = void*;
using SQLHANDLE = void*;
using SQLHENV = SQLHANDLE;
using SQLHDBC = SQLHANDLE;
using SQLHSTMT = SQLHANDLE;

struct SQL_DATE_STRUCT {
    SQLSMALLINT year;
    SQLUSMALLINT month;
    SQLUSMALLINT day;
};
struct SQL_TIME_STRUCT {
    SQLUSMALLINT hour;
    SQLUSMALLINT minute;
    SQLUSMALLINT second;
};
// fraction counts nanoseconds.
struct SQL_TIMESTAMP_STRUCT {
    SQLSMALLINT year;
    SQLUSMALLINT month;
    SQLUSMALLINT day;
    SQLUSMALLINT hour;
    SQLUSMALLINT minute;
    SQLUSMALLINT second;
    SQLUINTEGER fraction;
};
static_assert(sizeof(SQL_TIMESTAMP_STRUCT) == 16, "the CLI timestamp structure is 16 bytes");

// Result codes
constexpr SQLRETURN SQL_SUCCESS = 0;
constexpr SQLRETURN SQL_SUCCESS_WITH_INFO = 1;
constexpr SQLRETURN SQL_NEED_DATA = 99;
constexpr SQLRETURN SQL_NO_DATA = 100;
constexpr SQLRETURN SQL_ERROR = -1;
constexpr SQLRETURN SQL_INVALID_HANDLE = -2;

// Handle types
constexpr SQLSMALLINT SQL_HANDLE_ENV = 1;
constexpr SQLSMALLINT SQL_HANDLE_DBC = 2;
constexpr SQLSMALLINT SQL_HANDLE_STMT = 3;
constexpr SQLHANDLE SQL_NULL_HANDLE = nullptr;

// Lengths and indicators
constexpr SQLLEN SQL_NULL_DATA = -1;
constexpr SQLLEN SQL_DATA_AT_EXEC = -2;
constexpr SQLINTEGER SQL_NTS = -3;
constexpr SQLLEN SQL_LEN_DATA_AT_EXEC_OFFSET = -100;
constexpr SQLLEN SQL_LEN_DATA_AT_EXEC(SQLLEN length) { return -length + SQL_LEN_DATA_AT_EXEC_OFFSET; }

// Environment, connection and statement attributes
constexpr SQLINTEGER SQL_ATTR_ODBC_VERSION = 200;
constexpr SQLINTEGER SQL_OV_ODBC3 = 3;
constexpr SQLINTEGER SQL_ATTR_AUTOCOMMIT = 102;
constexpr SQLINTEGER SQL_ATTR_CURRENT_SCHEMA = 1254;
constexpr SQLINTEGER SQL_ATTR_CONNECTTYPE = 1255;
constexpr SQLINTEGER SQL_CONCURRENT_TRANS = 1;
constexpr SQLINTEGER SQL_COORDINATED_TRANS = 2;
constexpr SQLINTEGER SQL_ATTR_ROW_BIND_TYPE = 5;
constexpr SQLINTEGER SQL_ATTR_PARAM_BIND_TYPE = 18;
constexpr SQLINTEGER SQL_ATTR_PARAM_STATUS_PTR = 20;
constexpr SQLINTEGER SQL_ATTR_PARAMS_PROCESSED_PTR = 21;
constexpr SQLINTEGER SQL_ATTR_PARAMSET_SIZE = 22;
constexpr SQLINTEGER SQL_ATTR_ROW_STATUS_PTR = 25;
constexpr SQLINTEGER SQL_ATTR_ROWS_FETCHED_PTR = 26;
constexpr SQLINTEGER SQL_ATTR_ROW_ARRAY_SIZE = 27;
constexpr SQLINTEGER SQL_ATTR_PARAMOPT_ATOMIC = 1260;
constexpr SQLULEN SQL_BIND_BY_COLUMN = 0;
constexpr SQLULEN SQL_ATOMIC_NO = 0;
constexpr SQLULEN SQL_ATOMIC_YES = 1;

// Parameter status values (SQL_ATTR_PARAM_STATUS_PTR)
constexpr SQLUSMALLINT SQL_PARAM_SUCCESS = 0;
constexpr SQLUSMALLINT SQL_PARAM_DIAG_UNAVAILABLE = 1;
constexpr SQLUSMALLINT SQL_PARAM_ERROR = 5;
constexpr SQLUSMALLINT SQL_PARAM_SUCCESS_WITH_INFO = 6;
constexpr SQLUSMALLINT SQL_PARAM_UNUSED = 7;
// Row status values (SQL_ATTR_ROW_STATUS_PTR)
constexpr SQLUSMALLINT SQL_ROW_SUCCESS = 0;
constexpr SQLUSMALLINT SQL_ROW_NOROW = 3;
constexpr SQLUSMALLINT SQL_ROW_ERROR = 5;
constexpr SQLUSMALLINT SQL_ROW_SUCCESS_WITH_INFO = 6;

// SQLFreeStmt options
constexpr SQLUSMALLINT SQL_CLOSE = 0;
constexpr SQLUSMALLINT SQL_DROP = 1;
constexpr SQLUSMALLINT SQL_UNBIND = 2;
constexpr SQLUSMALLINT SQL_RESET_PARAMS = 3;

// Parameter direction
constexpr SQLSMALLINT SQL_PARAM_INPUT = 1;

// Nullability
constexpr SQLSMALLINT SQL_NO_NULLS = 0;
constexpr SQLSMALLINT SQL_NULLABLE = 1;
constexpr SQLSMALLINT SQL_NULLABLE_UNKNOWN = 2;

// SQL data types (DB2 LUW codes as an ODBC 3 application sees them)
constexpr SQLSMALLINT SQL_UNKNOWN_TYPE = 0;
constexpr SQLSMALLINT SQL_CHAR = 1;
constexpr SQLSMALLINT SQL_NUMERIC = 2;
constexpr SQLSMALLINT SQL_DECIMAL = 3;
constexpr SQLSMALLINT SQL_INTEGER = 4;
constexpr SQLSMALLINT SQL_SMALLINT = 5;
constexpr SQLSMALLINT SQL_FLOAT = 6;
constexpr SQLSMALLINT SQL_REAL = 7;
constexpr SQLSMALLINT SQL_DOUBLE = 8;
constexpr SQLSMALLINT SQL_DATETIME = 9;
constexpr SQLSMALLINT SQL_VARCHAR = 12;
constexpr SQLSMALLINT SQL_TYPE_DATE = 91;
constexpr SQLSMALLINT SQL_TYPE_TIME = 92;
constexpr SQLSMALLINT SQL_TYPE_TIMESTAMP = 93;
constexpr SQLSMALLINT SQL_LONGVARCHAR = -1;
constexpr SQLSMALLINT SQL_BINARY = -2;
constexpr SQLSMALLINT SQL_VARBINARY = -3;
constexpr SQLSMALLINT SQL_LONGVARBINARY = -4;
constexpr SQLSMALLINT SQL_BIGINT = -5;
constexpr SQLSMALLINT SQL_TINYINT = -6;
constexpr SQLSMALLINT SQL_BIT = -7;
constexpr SQLSMALLINT SQL_WCHAR = -8;
constexpr SQLSMALLINT SQL_WVARCHAR = -9;
constexpr SQLSMALLINT SQL_WLONGVARCHAR = -10;
constexpr SQLSMALLINT SQL_GRAPHIC = -95;
constexpr SQLSMALLINT SQL_VARGRAPHIC = -96;
constexpr SQLSMALLINT SQL_LONGVARGRAPHIC = -97;
constexpr SQLSMALLINT SQL_BLOB = -98;
constexpr SQLSMALLINT SQL_CLOB = -99;
constexpr SQLSMALLINT SQL_DBCLOB = -350;
constexpr SQLSMALLINT SQL_DECFLOAT = -360;
constexpr SQLSMALLINT SQL_XML = -370;

// Datetime subcodes (SQLColumns SQL_DATETIME_SUB)
constexpr SQLSMALLINT SQL_CODE_DATE = 1;
constexpr SQLSMALLINT SQL_CODE_TIME = 2;
constexpr SQLSMALLINT SQL_CODE_TIMESTAMP = 3;

// C data types
constexpr SQLSMALLINT SQL_C_CHAR = 1;
constexpr SQLSMALLINT SQL_C_WCHAR = -8;
constexpr SQLSMALLINT SQL_C_LONG = 4;
constexpr SQLSMALLINT SQL_C_SLONG = -16;
constexpr SQLSMALLINT SQL_C_ULONG = -18;
constexpr SQLSMALLINT SQL_C_SHORT = 5;
constexpr SQLSMALLINT SQL_C_SSHORT = -15;
constexpr SQLSMALLINT SQL_C_USHORT = -17;
constexpr SQLSMALLINT SQL_C_TINYINT = -6;
constexpr SQLSMALLINT SQL_C_STINYINT = -26;
constexpr SQLSMALLINT SQL_C_UTINYINT = -28;
constexpr SQLSMALLINT SQL_C_BIT = -7;
constexpr SQLSMALLINT SQL_C_SBIGINT = -25;
constexpr SQLSMALLINT SQL_C_UBIGINT = -27;
constexpr SQLSMALLINT SQL_C_FLOAT = 7;
constexpr SQLSMALLINT SQL_C_DOUBLE = 8;
constexpr SQLSMALLINT SQL_C_NUMERIC = 2;
constexpr SQLSMALLINT SQL_C_BINARY = -2;
constexpr SQLSMALLINT SQL_C_TYPE_DATE = 91;
constexpr SQLSMALLINT SQL_C_TYPE_TIME = 92;
constexpr SQLSMALLINT SQL_C_TYPE_TIMESTAMP = 93;
constexpr SQLSMALLINT SQL_C_DEFAULT = 99;
constexpr SQLSMALLINT SQL_C_BLOB_LOCATOR = 31;
constexpr SQLSMALLINT SQL_C_CLOB_LOCATOR = 41;
constexpr SQLSMALLINT SQL_C_DBCLOB_LOCATOR = -351;
constexpr SQLSMALLINT SQL_C_DBCHAR = -350;
constexpr SQLSMALLINT SQL_C_DECIMAL64 = -360;
constexpr SQLSMALLINT SQL_C_DECIMAL128 = -361;

// SQLColAttribute fields
constexpr SQLUSMALLINT SQL_DESC_AUTO_UNIQUE_VALUE = 11;
constexpr SQLUSMALLINT SQL_DESC_COUNT = 1001;
constexpr SQLUSMALLINT SQL_DESC_TYPE = 1002;
constexpr SQLUSMALLINT SQL_DESC_LENGTH = 1003;
constexpr SQLUSMALLINT SQL_DESC_PRECISION = 1005;
constexpr SQLUSMALLINT SQL_DESC_SCALE = 1006;
constexpr SQLUSMALLINT SQL_DESC_NULLABLE = 1008;
constexpr SQLUSMALLINT SQL_DESC_NAME = 1011;
constexpr SQLUSMALLINT SQL_DESC_OCTET_LENGTH = 1013;

// Function signatures, one pointer type each (the W forms take lengths in SQLWCHAR units).
using SQLAllocHandle_fn = SQLRETURN (*)(SQLSMALLINT handle_type, SQLHANDLE input, SQLHANDLE* output);
using SQLFreeHandle_fn = SQLRETURN (*)(SQLSMALLINT handle_type, SQLHANDLE handle);
using SQLSetEnvAttr_fn = SQLRETURN (*)(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                                       SQLINTEGER string_length);
using SQLSetConnectAttrW_fn = SQLRETURN (*)(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                            SQLINTEGER string_length);
using SQLConnectW_fn = SQLRETURN (*)(SQLHDBC dbc, SQLWCHAR* server, SQLSMALLINT server_length,
                                     SQLWCHAR* user, SQLSMALLINT user_length, SQLWCHAR* password,
                                     SQLSMALLINT password_length);
using SQLDisconnect_fn = SQLRETURN (*)(SQLHDBC dbc);
using SQLExecDirectW_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER text_length);
using SQLPrepareW_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER text_length);
using SQLExecute_fn = SQLRETURN (*)(SQLHSTMT stmt);
using SQLParamData_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLPOINTER* value);
using SQLPutData_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLPOINTER data, SQLLEN length);
using SQLBindParameter_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLUSMALLINT number, SQLSMALLINT direction,
                                          SQLSMALLINT c_type, SQLSMALLINT sql_type, SQLULEN column_size,
                                          SQLSMALLINT decimal_digits, SQLPOINTER value,
                                          SQLLEN buffer_length, SQLLEN* length_or_indicator);
using SQLSetStmtAttrW_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                         SQLINTEGER string_length);
using SQLBindCol_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type,
                                    SQLPOINTER value, SQLLEN buffer_length, SQLLEN* length_or_indicator);
using SQLFetch_fn = SQLRETURN (*)(SQLHSTMT stmt);
using SQLGetData_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type,
                                    SQLPOINTER value, SQLLEN buffer_length, SQLLEN* length_or_indicator);
using SQLFreeStmt_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLUSMALLINT option);
using SQLRowCount_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLLEN* row_count);
using SQLNumResultCols_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLSMALLINT* column_count);
using SQLDescribeColW_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLUSMALLINT column, SQLWCHAR* name,
                                         SQLSMALLINT buffer_length, SQLSMALLINT* name_length,
                                         SQLSMALLINT* data_type, SQLULEN* column_size,
                                         SQLSMALLINT* decimal_digits, SQLSMALLINT* nullable);
using SQLColAttributeW_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                                          SQLPOINTER character_attribute, SQLSMALLINT buffer_length,
                                          SQLSMALLINT* string_length, SQLLEN* numeric_attribute);
using SQLTablesW_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalog_length,
                                    SQLWCHAR* schema, SQLSMALLINT schema_length, SQLWCHAR* table,
                                    SQLSMALLINT table_length, SQLWCHAR* type, SQLSMALLINT type_length);
using SQLColumnsW_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalog_length,
                                     SQLWCHAR* schema, SQLSMALLINT schema_length, SQLWCHAR* table,
                                     SQLSMALLINT table_length, SQLWCHAR* column, SQLSMALLINT column_length);
using SQLGetDiagRecW_fn = SQLRETURN (*)(SQLSMALLINT handle_type, SQLHANDLE handle, SQLSMALLINT record,
                                        SQLWCHAR* state, SQLINTEGER* native_error, SQLWCHAR* message,
                                        SQLSMALLINT buffer_length, SQLSMALLINT* text_length);
// DB2 large-object locators (no W forms). Lengths count bytes for BLOB and CLOB, characters for DBCLOB.
using SQLGetLength_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLSMALLINT locator_c_type, SQLINTEGER locator,
                                      SQLINTEGER* string_length, SQLINTEGER* indicator);
using SQLGetSubString_fn = SQLRETURN (*)(SQLHSTMT stmt, SQLSMALLINT locator_c_type, SQLINTEGER locator,
                                         SQLUINTEGER from_position, SQLUINTEGER for_length,
                                         SQLSMALLINT target_c_type, SQLPOINTER value,
                                         SQLINTEGER buffer_length, SQLINTEGER* string_length,
                                         SQLINTEGER* indicator);
