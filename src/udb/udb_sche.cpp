#include "udb/udb_sche.h"

#include <utility>

#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

bool udb_is_numeric_type(VARTYPE vt) {
    switch (vt) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_BOOL: case VT_DECIMAL:
    case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8:
        return true;
    default:
        return false;
    }
}

bool udb_is_text_type(VARTYPE vt) { return vt == VT_BSTR || vt == VT_LPSTR || vt == VT_LPWSTR; }

bool udb_is_binary_type(VARTYPE vt) {
    return vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == VT_BYTE_ARRAY;
}

// ---------------------------------------------------------------------------------------------
// t_ftd

t_ftd::t_ftd(uint32_t size_, std::u16string name_, VARTYPE vartype_, bool not_null,
             bool auto_increment, const ole_variant& def_value_, int32_t reserved_)
    : size(size_),
      name(std::move(name_)),
      vartype(vartype_),
      b_auto_increment(auto_increment),
      b_not_null(not_null),
      def_value(def_value_),
      reserved(reserved_) {
    TK_TRACE(1, "t_ftd::ctor2");
    TK_TRACE(1, "\tfield name='%s', vartype=%d, size=%d, b_not_null=%d, reserved=%d", TK_W(name),
             vartype, static_cast<int>(size), b_not_null ? 1 : 0, static_cast<int>(reserved));
}

bool t_ftd::operator==(const t_ftd& other) const {
    TK_TRACE(1, "t_ftd::operator ==");
    if ((vartype == VT_DECIMAL && other.vartype == VT_CY) ||
        (vartype == VT_CY && other.vartype == VT_DECIMAL))
        return true;
    if (vartype != other.vartype) return false;
    if (vartype == VT_BSTR) return size == other.size;
    return true;
}

// Source S (this) into destination D:
//   D numeric (2..6, 11, 14, 16..23): S numeric (22 and 23 are not)
//   D date (7):                        S date, or text of exactly 19 characters
//   D text (8, 30, 31):                S text fits (D unlimited, S unlimited-any, D >= S);
//                                      S binary never; anything else yes
//   D binary (65, 70, 8209):           S text or binary fits (D unlimited or D >= S); else yes
//   any other D:                       never
// unless S == D by operator== first.
bool t_ftd::conform_to(const t_ftd& destination) const {
    TK_TRACE(1, "t_ftd::conform_to");
    if (*this == destination) return true;
    const VARTYPE dest_vt = destination.vartype;
    if (udb_is_numeric_type(dest_vt) || dest_vt == VT_INT || dest_vt == VT_UINT)
        return udb_is_numeric_type(vartype);
    if (dest_vt == VT_DATE) return vartype == VT_DATE || (vartype == VT_BSTR && size == 19);
    if (udb_is_text_type(dest_vt)) {
        if (udb_is_text_type(vartype))
            return destination.size == 0 || size == 0xFFFFFFFFu || destination.size >= size;
        if (udb_is_binary_type(vartype)) return false;
        return true;
    }
    if (udb_is_binary_type(dest_vt)) {
        if (udb_is_text_type(vartype) || udb_is_binary_type(vartype))
            return destination.size == 0 || destination.size >= size;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// udb_schema

udb_schema::udb_schema(bool owns) : owns_(owns) {}

udb_schema::~udb_schema() { clear(); }

t_ftd& udb_schema::add_field(std::unique_ptr<t_ftd> ftd) {
    if (!ftd) throw tk_mail_assertion("udb_sche", __LINE__);
    t_ftd& added = *ftd;
    owned_.push_back(std::move(ftd));
    fields_.push_back(&added);
    return added;
}

void udb_schema::add_field(t_ftd* ftd) {
    if (ftd == nullptr) throw tk_mail_assertion("udb_sche", __LINE__);
    if (owns_) owned_.emplace_back(ftd);
    fields_.push_back(ftd);
}

void udb_schema::clear() {
    fields_.clear();
    owned_.clear();
}

bool udb_schema::find_field(std::u16string_view name) const {
    TK_TRACE(1, "udb_schema::find_field(%s)", TK_W(name));
    for (const t_ftd* ftd : fields_) {
        TK_TRACE(1, "Processing %s", TK_W(ftd->name));
        if (tk_equal_nocase(ftd->name, name)) return true;
    }
    return false;
}

const t_ftd* udb_schema::lookup(std::u16string_view name) const {
    for (const t_ftd* ftd : fields_)
        if (tk_equal_nocase(ftd->name, name)) return ftd;
    return nullptr;
}

t_ftd& udb_schema::get_field(std::u16string_view name) const {
    TK_TRACE(1, "udb_schema::find_field(%s)", TK_W(name));
    const t_ftd* ftd = lookup(name);
    if (ftd == nullptr) throw tk_mail_assertion("udb_sche", 312);
    return const_cast<t_ftd&>(*ftd);
}

t_ftd& udb_schema::get_index_field(std::u16string_view name) const {
    TK_TRACE(1, "udb_schema::find_field(%s)", TK_W(name));
    const t_ftd* ftd = lookup(name);
    if (ftd == nullptr) throw tk_mail_assertion("udb_sche", 327);
    return const_cast<t_ftd&>(*ftd);
}

bool udb_schema::conform_to(const udb_schema& destination) const {
    TK_TRACE(1, "udb_schema::conform_to");
    if (size() != destination.size()) {
        TK_TRACE(2, "Tables are not conformed: src_size=%d, dest_size=%d", static_cast<int>(size()),
                 static_cast<int>(destination.size()));
        return false;
    }
    for (size_t column_idx = 0; column_idx < size(); ++column_idx) {
        const t_ftd& src = *fields_[column_idx];
        const t_ftd& dest = destination[column_idx];
        if (!src.conform_to(dest)) {
            TK_TRACE(2, "Column #%d doesn't conform (src_vt=%u, src_size=%u, dest_vt=%u, dest_size=%u)",
                     static_cast<int>(column_idx + 1), src.vartype, src.size, dest.vartype, dest.size);
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// udb_field, udb_record

udb_field::udb_field() { TK_TRACE(1, "udb_field::empty ctor"); }

udb_field::udb_field(std::u16string name_, uint32_t size_, ole_variant value, bool not_null,
                     bool auto_increment)
    : ole_variant(std::move(value)),
      size(size_),
      name(std::move(name_)),
      b_not_null(not_null),
      b_auto_increment(auto_increment) {
    TK_TRACE(1, "udb_field::ctor #2");
    TK_TRACE(1, "name=%s, size=%d", TK_W(name), static_cast<int>(size));
}

udb_field::~udb_field() = default;

VARTYPE udb_field::get_type() const { return ole_variant::get_type(); }

udb_record::~udb_record() = default;

udb_field& udb_record::add_field(std::unique_ptr<udb_field> field) {
    if (!field) throw tk_mail_assertion("udb_sche", __LINE__);
    fields_.push_back(std::move(field));
    return *fields_.back();
}

const udb_field& udb_record::find_field(std::u16string_view name) const {
    TK_TRACE(1, "udb_schema::find_field(%s)", TK_W(name));
    for (const auto& field : fields_)
        if (tk_equal_nocase(field->name, name)) return *field;
    return empty_field_;
}
