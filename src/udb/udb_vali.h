// Name validation and mapping. A source name is not always acceptable to the destination (too
// long, reserved, an illegal character) and two names can clash once shortened. udb_validator
// decides whether a name is acceptable and unique and generates a safe replacement: cut to the
// length limit, illegal characters replaced by '_', then a five-digit counter until the name is
// acceptable and unused. The DB2 side derives its validators from it and fills in its limits,
// characters and reserved words. Replacements are remembered per validator (t_names_map) and per
// destination database (udb_names_map). Used by one thread at a time; the lists only grow.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Source name -> generated name, ordered by the plain code-unit order of the source name.
class t_names_map {
public:
    using map_type = std::map<std::u16string, std::u16string>;

    // Inserts the pair; a source name already present keeps its first generated name.
    void add(const std::u16string& source, const std::u16string& generated);
    // The generated name of the first pair in key order whose key equals `name` (exactly when
    // `exact`, else case-insensitively); `name` itself when there is none.
    std::u16string get_mapped_name(std::u16string_view name, bool exact) const;

    size_t size() const noexcept { return map_.size(); }
    bool empty() const noexcept { return map_.empty(); }
    map_type::const_iterator begin() const { return map_.begin(); }
    map_type::const_iterator end() const { return map_.end(); }
    const map_type& get_map() const noexcept { return map_; }

private:
    map_type map_;
};

// The names a destination database generated: table names, and per destination table the
// generated names of its columns. Nothing reads it back during a run; it lives as long as the
// database object.
class udb_names_map {
public:
    void add_tn_mapping(const std::u16string& source, const std::u16string& generated);
    // Stores a copy of `field_map` under the destination table name; an existing entry for that
    // table stays unchanged.
    void add_fn_map(const std::u16string& table, const t_names_map& field_map);

    const t_names_map& get_tn_map() const noexcept { return tn_map_; }
    const std::map<std::u16string, t_names_map>& get_fn_maps() const noexcept { return fn_maps_; }

private:
    t_names_map tn_map_;
    std::map<std::u16string, t_names_map> fn_maps_;
};

class udb_validator {
public:
    // `max_length`: longest acceptable name in characters, 0 for no limit.
    explicit udb_validator(int32_t max_length);

    // False when the name is longer than the limit, equals a restricted name (case-insensitive)
    // or contains an illegal character; else true.
    virtual bool is_acceptable(std::u16string_view name) const;
    // True when the name equals an existing name (case-insensitive).
    virtual bool is_duplicated(std::u16string_view name) const;
    // A name that is acceptable and not duplicated, derived from `name`: cut to the limit less one,
    // illegal characters replaced by '_', then if needed cut to the limit less six and followed
    // by the first free counter "00000".."99999". Does not record the result (see
    // add_existing_name, add_mapped_pair). All 100,000 counters taken raises tk_mail_assertion
    // (udb_vali 54). Uses the virtual is_acceptable and is_duplicated, so subclass rules apply.
    virtual std::u16string get_safe_name(std::u16string_view name) const;
    // Validators may be owned through a pointer to this class.
    virtual ~udb_validator();

    // Appends to the existing names (repeats are not checked).
    void add_existing_name(const std::u16string& name);
    // Records a source -> generated pair in the mapped pairs.
    void add_mapped_pair(const std::u16string& source, const std::u16string& generated);

    int32_t get_max_length() const noexcept { return max_length_; }
    const t_names_map& get_mapped_pairs() const noexcept { return mapped_pairs_; }
    const std::vector<char16_t>& get_illegal_chars() const noexcept { return illegal_chars_; }
    const std::vector<std::u16string>& get_restricted_names() const noexcept { return restricted_names_; }
    const std::vector<std::u16string>& get_existing_names() const noexcept { return existing_names_; }

protected:
    // Subclasses fill the character and restricted lists, and usually the existing names, at
    // construction.
    int32_t max_length_;
    t_names_map mapped_pairs_;
    std::vector<char16_t> illegal_chars_;
    std::vector<std::u16string> restricted_names_;
    std::vector<std::u16string> existing_names_;
};
