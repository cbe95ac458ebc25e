#include "common/db2_conv.h"

#include "db2/db2_db.h"
#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"
#include "udb/udb_prof.h"

namespace {
const char16_t k_section[] = u"DB2 settings";
}  // namespace

db2_converter_impl::db2_converter_impl() {
    TK_TRACE(2, "db2_converter_impl::ctor");
}

db2_converter_impl::~db2_converter_impl() = default;

void db2_converter_impl::connect_db2_server(const std::u16string& database) {
    TK_TRACE(1, "db2_converter_impl::connect_db2_server(%s)", TK_W(database));
    db2_engine_.connect(database, user_, password_);
    connected_ = true;
}

std::unique_ptr<udb_database> db2_converter_impl::open_db(const std::u16string& schema) {
    TK_TRACE(2, "db2_converter_impl::open_db(%s)", TK_W(schema));
    if (!connected_) throw tk_mail_assertion("db2_conv", 75);
    return db2_engine_.open_db(schema, user_, password_);
}

void db2_converter_impl::get_db2_schemas(std::vector<std::u16string>& list) {
    TK_TRACE(2, "db2_converter_impl::get_db2_schemas");
    if (!connected_) throw tk_mail_assertion("db2_conv", 85);
    list = db2_engine_.get_contents();
}

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

void db2_converter_impl::load_profile(const udb_profile& profile) {
    std::u16string value = profile.get(k_section, u"user");
    if (!value.empty()) user_ = value;
    value = profile.get(k_section, u"password");
    if (!value.empty()) password_ = value;
    value = profile.get(k_section, u"schema");
    if (!value.empty()) schema_ = value;
}

void db2_converter_impl::store_profile(udb_profile& profile) const {
    if (!user_.empty()) profile.set(k_section, u"user", user_);
    if (!password_.empty()) profile.set(k_section, u"password", password_);
    if (!schema_.empty()) profile.set(k_section, u"schema", schema_);
}
