#include "common/udb_converter.h"

#include "tk/tk_log.h"

udb_converter::udb_converter() { TK_TRACE(2, "udb_converter::ctor"); }

udb_converter::~udb_converter() = default;

void udb_converter::clear_selection() {
    selected_tables_.clear();
    tables_and_queries_.clear();
    available_queries_.clear();
}
