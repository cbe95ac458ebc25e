#include "common/quorvex_convertor.h"

#include "tk/tk_errco.h"
#include "tk/tk_log.h"

quorvex_convertor::quorvex_convertor() { TK_TRACE(2, "quorvex_convertor::ctor"); }

quorvex_convertor::~quorvex_convertor() { TK_TRACE(2, "quorvex_convertor::dtor"); }

void quorvex_convertor::run() {
    TK_TRACE(3, "quorvex_convertor::run - no conversion run in this build");
    throw tk_exception("Converting tables is not available in this build.", 1);
}

bool quorvex_convertor::test_query(const std::u16string& /*statement*/) { return false; }
