// Database-neutral description of tables and rows. A column is a field type descriptor (t_ftd), a
// table's columns form a schema (udb_schema, column order is significant), a row is a record
// (udb_record) of fields (udb_field), each field a typed value with its column's name, size and
// flags. Schemas own their descriptors, records own their fields. Plain values: built once, read
// afterwards, by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ole/ole_var.h"

// One column of a schema.
class t_ftd {
public:
    // Copies every argument (the default value too); the comment stays empty.
    t_ftd(uint32_t size, std::u16string name, VARTYPE vartype, bool not_null, bool auto_increment,
          const ole_variant& def_value = ole_variant(), int32_t reserved = 0);

    // Equal types: DECIMAL and CURRENCY (14 and 6) in either order are equal; different type codes
    // are not; two VT_BSTR columns only with equal sizes; otherwise equal. Names, flags and
    // defaults are not compared.
    bool operator==(const t_ftd& other) const;
    // Whether values of this (source) column can be stored in `destination`; see the rule table
    // in the implementation.
    bool conform_to(const t_ftd& destination) const;

    // Text and binary columns: maximum length in characters or bytes, 0 for no limit (0xFFFFFFFF
    // for a source that holds any length); other types: the byte size the source reports.
    uint32_t size;
    std::u16string name;
    VARTYPE vartype;
    bool b_auto_increment;
    bool b_not_null;
    ole_variant def_value;   // VT_EMPTY when the column has no default
    // VT_DECIMAL: precision << 8 | scale. VT_DATE: 1 date and time, 2 date only, 3 time only,
    // 0 other (TIMESTAMP). VT_I8/VT_UI8 from MySQL result metadata: 1 signed, 2 unsigned. Else 0.
    int32_t reserved;
    std::u16string comment;
};

// Type groups of the conformity rules.
bool udb_is_numeric_type(VARTYPE vt);   // 2, 3, 4, 5, 6, 11, 14, 16..21
bool udb_is_text_type(VARTYPE vt);      // 8, 30, 31
bool udb_is_binary_type(VARTYPE vt);    // 65, 70, 8209

// An ordered list of column descriptors.
class udb_schema {
public:
    // `owns`: whether descriptors added as pointers are deleted with the schema.
    explicit udb_schema(bool owns = true);
    virtual ~udb_schema();
    udb_schema(const udb_schema&) = delete;
    udb_schema& operator=(const udb_schema&) = delete;

    // Appends a descriptor; the schema always deletes a descriptor handed over this way.
    t_ftd& add_field(std::unique_ptr<t_ftd> ftd);
    // Appends a descriptor owned by the schema only when the owns flag is set; otherwise the
    // caller keeps it alive for the schema's lifetime.
    void add_field(t_ftd* ftd);
    // Forgets every descriptor (deleting those the schema owns).
    void clear();

    size_t size() const noexcept { return fields_.size(); }
    bool empty() const noexcept { return fields_.empty(); }
    t_ftd& at(size_t column_idx) const { return *fields_.at(column_idx); }
    t_ftd& operator[](size_t column_idx) const { return *fields_[column_idx]; }
    const std::vector<t_ftd*>& get_fields() const noexcept { return fields_; }
    bool owns() const noexcept { return owns_; }

    // True when a column has this name (case-insensitive, locale-aware).
    bool find_field(std::u16string_view name) const;
    // The first column of this name; a missing name raises tk_mail_assertion (udb_sche 312).
    t_ftd& get_field(std::u16string_view name) const;
    // The same for the DB2 index builder; a missing name raises tk_mail_assertion (udb_sche 327).
    t_ftd& get_index_field(std::u16string_view name) const;
    // True when both have the same number of columns and each column conforms to the column at
    // the same position of `destination`. Names are not compared.
    bool conform_to(const udb_schema& destination) const;

private:
    const t_ftd* lookup(std::u16string_view name) const;

    std::vector<t_ftd*> fields_;
    std::vector<std::unique_ptr<t_ftd>> owned_;
    bool owns_;
};

// One value of a record: the value itself with its column's name, size and flags.
class udb_field : public ole_variant {
public:
    // No name, size 0, VT_EMPTY.
    udb_field();
    udb_field(std::u16string name, uint32_t size, ole_variant value, bool not_null = false,
              bool auto_increment = false);
    udb_field(const udb_field&) = default;
    udb_field(udb_field&&) noexcept = default;
    udb_field& operator=(const udb_field&) = default;
    udb_field& operator=(udb_field&&) noexcept = default;
    ~udb_field() override;

    // The value's type code (traced "ole_variant::get_type" at level 1).
    virtual VARTYPE get_type() const;

    // DB2 reader: the column's size; MySQL reader: the byte length of this value.
    uint32_t size = 0;
    std::u16string name;
    bool b_not_null = false;
    bool b_auto_increment = false;
};

// One row: owned fields in schema order. Subclasses (the MySQL and DB2 readers) fill the list.
class udb_record {
public:
    udb_record() = default;
    virtual ~udb_record();
    udb_record(const udb_record&) = delete;
    udb_record& operator=(const udb_record&) = delete;

    udb_field& add_field(std::unique_ptr<udb_field> field);
    size_t size() const noexcept { return fields_.size(); }
    bool empty() const noexcept { return fields_.empty(); }
    udb_field& at(size_t column_idx) const { return *fields_.at(column_idx); }
    udb_field& operator[](size_t column_idx) const { return *fields_[column_idx]; }
    const std::vector<std::unique_ptr<udb_field>>& get_fields() const noexcept { return fields_; }

    // The first field of this name (case-insensitive, locale-aware); when none matches, an empty
    // field (no name, size 0, VT_EMPTY) that stays valid as long as the record.
    const udb_field& find_field(std::u16string_view name) const;

protected:
    std::vector<std::unique_ptr<udb_field>> fields_;

private:
    udb_field empty_field_;
};
