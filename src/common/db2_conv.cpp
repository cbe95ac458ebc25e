#include "common/db2_conv.h"

#include "tk/tk_log.h"
#include "tk/tk_utils.h"

db2_converter_impl::db2_converter_impl() { TK_TRACE(2, "db2_converter_impl::ctor"); }

db2_converter_impl::~db2_converter_impl() = default;

void db2_converter_impl::store_db2_settings(const std::u16string& database,
                                            const std::u16string& user,
                                            const std::u16string& password) {
    user_ = user;
    password_ = password;
    set_destination_name(database);
}

void db2_converter_impl::set_schema(const std::u16string& schema) {
    std::u16string upper = schema;
    schema_ = tk_wstring::to_upper(upper);
}
