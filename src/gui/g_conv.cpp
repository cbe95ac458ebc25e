#include "gui/g_conv.h"

#include "gui/g_wiz_sh.h"
#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

wizard_convertor::wizard_convertor() : reg_key_("Software\\Ferrovane\\Tarnbridge") {
    serialize(false);
}

wizard_convertor::~wizard_convertor() {
    try {
        serialize(true);
    } catch (const std::exception& e) {
        TK_TRACE(3, "wizard_convertor::dtor: settings not saved: %s", e.what());
    }
    reg_key_.close();
}

// The MySQL settings are UTF-8 whatever the locale's charset; they travel as text of their own.
bool wizard_convertor::transfer_utf8(bool store, std::string& value, const char* name) {
    std::u16string wide = tk_from_utf8(value);
    if (!reg_key_.transfer(store, wide, name)) return false;
    if (!store) value = tk_to_utf8(wide);
    return true;
}

void wizard_convertor::report_unexpected_failure(const char* text) {
    std::string message = text != nullptr ? text : "";
    if (wizard_shell::has_instance()) wizard_shell::get_instance().error(message);
}

bool wizard_convertor::serialize(bool store) {
    TK_TRACE(1, "serialize( %d )", store ? 1 : 0);
    if (reg_key_.open(tk_reg_root::current_user, reg_key_.path()) != tk_reg_ok) return false;
    if (!store) {
        convert_views_ = true;
        skip_indexes_ = false;
        definitions_only_ = false;
    }
    std::u16string destination = destination_name_;
    bool all = true;
    all &= reg_key_.transfer(store, convert_views_, "convert_views");
    all &= reg_key_.transfer(store, db2_converter_impl::password_, "db2pswd");
    all &= reg_key_.transfer(store, schema_, "db2schema");
    all &= reg_key_.transfer(store, db2_converter_impl::user_, "db2user");
    all &= reg_key_.transfer(store, destination, "dest");
    all &= transfer_utf8(store, port_, "myport");
    all &= transfer_utf8(store, host_, "mysqlh");
    all &= transfer_utf8(store, mysql_converter_impl::password_, "mysqlp");
    all &= transfer_utf8(store, mysql_converter_impl::user_, "mysqlu");
    all &= reg_key_.transfer(store, skip_indexes_, "skip_idx");
    all &= reg_key_.transfer(store, source_name_, "src");
    all &= reg_key_.transfer(store, definitions_only_, "tab_def");
    if (!store) set_destination_name(destination);
    reg_key_.close();
    return all;
}

