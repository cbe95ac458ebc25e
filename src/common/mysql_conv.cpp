#include "common/mysql_conv.h"

#include <cstdlib>

#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"
#include "udb/udb_db.h"
#include "udb/udb_prof.h"

namespace {

const char16_t k_section[] = u"MySQL settings";

struct dump_key {
    const char16_t* key;
    bool mysql_dump_options::*option;
};

const dump_key k_dump_keys[] = {
    {u"dump line break", &mysql_dump_options::line_break},
    {u"dump new version", &mysql_dump_options::new_version},
    {u"dump add lock to insert", &mysql_dump_options::add_lock_to_insert},
    {u"dump insert comments", &mysql_dump_options::insert_comments},
    {u"dump create database", &mysql_dump_options::create_database},
    {u"dump create table", &mysql_dump_options::create_table},
};

}  // namespace

mysql_converter_impl::mysql_converter_impl() {
    TK_TRACE(2, "mysql_converter_impl::ctor");
}

mysql_converter_impl::~mysql_converter_impl() {
    TK_TRACE(2, "mysql_converter_impl::dtor");
}

void mysql_converter_impl::store_mysql_settings(const std::string& host, const std::string& user,
                                                const std::string& password,
                                                const std::string& port) {
    TK_TRACE(1, "mysql_converter_impl::store_mysql_settings(%s, %s, ***, %s)", host.c_str(),
             user.c_str(), port.c_str());
    host_ = tk_trim(host);
    user_ = tk_trim(user);
    password_ = tk_trim(password);
    port_ = tk_trim(port);
    if (port_.empty()) port_ = "3306";
}

void mysql_converter_impl::connect_mysql_server() {
    TK_TRACE(2, "mysql_converter_impl::connect_mysql_server");
    // Leading digits count, anything after them stops the number ("3306xyz" is 3306). A number
    // outside the port range would reach the client library as some other port.
    long port = std::strtol(port_.c_str(), nullptr, 10);
    if (port <= 0 || port > 65535) throw tk_exception("Invalid port number", 1);
    sql_engine_.connect(host_, user_, password_, static_cast<int32_t>(port));
}

bool mysql_converter_impl::is_mysql_base_exist(const std::u16string& name) {
    TK_TRACE(2, "mysql_converter_impl::is_mysql_base_exist( %s )", TK_W(name));
    return sql_engine_.is_db_exist(name);
}

std::vector<std::u16string> mysql_converter_impl::get_mysql_databases() {
    return sql_engine_.get_contents();
}

std::unique_ptr<udb_database> mysql_converter_impl::open_mysql_db(const std::u16string& name) {
    return sql_engine_.open_db(name, 1, std::u16string());
}

void mysql_converter_impl::load_profile(const udb_profile& profile) {
    TK_TRACE(2, "mysql_converter_impl::load_profile");
    host_ = tk_to_utf8(profile.get(k_section, u"host"));
    password_ = tk_to_utf8(profile.get(k_section, u"password"));
    std::u16string value = profile.get(k_section, u"user");
    if (!value.empty()) user_ = tk_to_utf8(value);
    value = profile.get(k_section, u"port");
    if (!value.empty()) port_ = tk_to_utf8(value);
    for (const dump_key& dump : k_dump_keys) {
        value = profile.get(k_section, dump.key);
        if (!value.empty()) dump_options_.*dump.option = value == u"1";
    }
}

void mysql_converter_impl::store_profile(udb_profile& profile) const {
    TK_TRACE(2, "mysql_converter_impl::store_profile");
    profile.set(k_section, u"host", tk_from_utf8(host_));
    profile.set(k_section, u"user", tk_from_utf8(user_));
    profile.set(k_section, u"password", tk_from_utf8(password_));
    profile.set(k_section, u"port", tk_from_utf8(port_));
    for (const dump_key& dump : k_dump_keys)
        profile.set(k_section, dump.key, dump_options_.*dump.option ? u"1" : u"0");
}
