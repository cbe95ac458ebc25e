// Indexes of a table: the primary key, unique keys and plain indexes, in the order they were
// added. Every record-set holds a udb_indexes list; the MySQL reader fills it from SHOW INDEX, the
// DB2 side builds NOT NULL columns, the primary key and the indexes from it. Plain values.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class udb_index {
public:
    udb_index() = default;
    udb_index(std::u16string name, bool unique, bool primary, std::vector<std::u16string> fields = {});

    // True when `prefix` lists this index's first columns, position by position, compared
    // case-insensitively; an empty list is a prefix of every index.
    bool starts_with_fields(const std::vector<std::u16string>& prefix) const;

    std::u16string name;   // the MySQL primary key is "PRIMARY"
    bool unique = false;
    bool primary = false;
    std::vector<std::u16string> fields;   // column names in key order
};

class udb_indexes {
public:
    // True when no index of the list has this name (case-insensitive).
    bool is_acceptable_name(std::u16string_view name) const;
    // The first index of this name (case-insensitive); a missing name raises tk_mail_assertion
    // (udb_idx 134): check with is_acceptable_name first.
    udb_index& get_index(std::u16string_view name);
    const udb_index& get_index(std::u16string_view name) const;
    // True when a column of some index (only primary ones when `primary_only`) has exactly this
    // name (case-sensitive).
    bool is_idx_field(std::u16string_view name, bool primary_only) const;
    // True when some index starts with these columns (an existing index already covers them).
    bool has_index_on_fields(const std::vector<std::u16string>& fields) const;

    // Appends without checks; udb_recordset::add_index is the guarded way.
    udb_index& append(udb_index index);
    size_t size() const noexcept { return list_.size(); }
    bool empty() const noexcept { return list_.empty(); }
    udb_index& operator[](size_t index_idx) { return list_[index_idx]; }
    const udb_index& operator[](size_t index_idx) const { return list_[index_idx]; }
    std::vector<udb_index>::iterator begin() { return list_.begin(); }
    std::vector<udb_index>::iterator end() { return list_.end(); }
    std::vector<udb_index>::const_iterator begin() const { return list_.begin(); }
    std::vector<udb_index>::const_iterator end() const { return list_.end(); }

private:
    const udb_index* lookup(std::u16string_view name) const;

    std::vector<udb_index> list_;
};
