// Foreign keys of a database. This system derives none and creates none, so the list stays empty
// during a conversion run; it exists so that a database can carry them. Plain values.
#pragma once

#include <string>
#include <utility>
#include <vector>

// One foreign key: `fields` of `table` refer to `ref_fields` of `ref_table`, position by position.
struct udb_relationship {
    std::u16string name;
    std::u16string table;
    std::vector<std::u16string> fields;
    std::u16string ref_table;
    std::vector<std::u16string> ref_fields;
};

class udb_relationships {
public:
    void append(udb_relationship relationship) { list_.push_back(std::move(relationship)); }
    size_t size() const noexcept { return list_.size(); }
    bool empty() const noexcept { return list_.empty(); }
    void clear() noexcept { list_.clear(); }
    const udb_relationship& operator[](size_t rel_idx) const { return list_[rel_idx]; }
    std::vector<udb_relationship>::const_iterator begin() const { return list_.begin(); }
    std::vector<udb_relationship>::const_iterator end() const { return list_.end(); }

private:
    std::vector<udb_relationship> list_;
};
