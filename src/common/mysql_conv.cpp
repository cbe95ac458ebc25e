#include "common/mysql_conv.h"

#include "tk/tk_log.h"
#include "tk/tk_utils.h"

mysql_converter_impl::mysql_converter_impl() { TK_TRACE(2, "mysql_converter_impl::ctor"); }

mysql_converter_impl::~mysql_converter_impl() { TK_TRACE(2, "mysql_converter_impl::dtor"); }

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
