#include "sql/sql_rec.h"

#include <mysql.h>

#include <memory>
#include <string_view>

#include "sql/sql_util.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

sql_record::sql_record(unsigned n_fields, const MYSQL_FIELD* fields, const unsigned long* lengths,
                       char** row) {
    TK_TRACE(1, "sql_record::ctor (n_fields=%d)", static_cast<int>(n_fields));
    if (fields == nullptr) throw tk_mail_assertion("sql_rec", 17);
    fields_.reserve(n_fields);
    for (unsigned column_idx = 0; column_idx < n_fields; ++column_idx) {
        auto field = std::make_unique<sql_field>();
        const MYSQL_FIELD& description = fields[column_idx];
        field->name = tk_from_utf8(std::string_view(description.name, description.name_length));
        TK_TRACE(1, "field #%d has type %d", static_cast<int>(column_idx),
                 static_cast<int>(description.type));
        fill(*field, description, row[column_idx], lengths[column_idx]);
        add_field(std::move(field));
    }
}

void sql_record::assign(const MYSQL_FIELD* fields, const unsigned long* lengths, char** row) {
    if (fields == nullptr) throw tk_mail_assertion("sql_rec", 17);
    for (size_t column_idx = 0; column_idx < fields_.size(); ++column_idx) {
        TK_TRACE(1, "field #%d has type %d", static_cast<int>(column_idx),
                 static_cast<int>(fields[column_idx].type));
        fill(*fields_[column_idx], fields[column_idx], row[column_idx], lengths[column_idx]);
    }
}

void sql_record::fill(udb_field& field, const MYSQL_FIELD& description, const char* value,
                      unsigned long length) {
    const unsigned type = description.type;
    TK_TRACE(1, "BINARY FLAG=%d", static_cast<int>(description.flags & BINARY_FLAG));
    // Bytes of the binary character set are no UTF-8 text: they take the narrow path unchanged.
    const bool carries_text = (type == MYSQL_TYPE_VAR_STRING || type == MYSQL_TYPE_STRING ||
                               sql_is_blob_type(type)) &&
                              !sql_is_binary_string(description);
    ole_variant& target = field;
    if (value != nullptr && carries_text) {
        TK_TRACE(1, "Extract as Unicode");
        // The whole value is converted: a zero byte inside a text is kept, not taken for its end.
        std::u16string text = tk_from_utf8(std::string_view(value, length));
        TK_TRACE(1, "sql_field::ctor1(%s,%d,%d)", TK_W(field.name), static_cast<int>(type),
                 static_cast<int>(length));
        target = sql_get_variant(std::move(text), length, description);
    } else {
        TK_TRACE(1, "Extract as ANSI");
        TK_TRACE(1, "sql_field::ctor2(%s,%d,%d)", TK_W(field.name), static_cast<int>(type),
                 static_cast<int>(length));
        target = sql_get_variant(value, length, description);
    }
    field.size = static_cast<uint32_t>(length);
}
