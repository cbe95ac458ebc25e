// The SQL the stand-in understands: a tokenizer and a recursive-descent parser for the DB2
// statement forms it supports. Anything else is refused with SQL0104N (or the message DB2 gives
// for the particular mistake); a statement is never half understood.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "sim_common.h"

namespace db2sim {

// schema empty: the current schema.
struct qualified_name {
    std::string schema;
    std::string name;
};

struct expr {
    enum class op {
        column, literal, param, neg, add, sub, mul, div, concat,
        eq, ne, lt, le, gt, ge, and_, or_, not_, is_null, is_not_null,
        func, count_star, current_date, current_time, current_timestamp, current_schema, user, default_value,
    };
    op o = op::literal;
    std::string name;              // column or function name (upper case for functions)
    value literal;                 // op::literal
    col_type literal_type = col_type::varchar;
    int param_index = -1;          // op::param, from 0
    int column_index = -1;         // op::column, resolved against the FROM table
    std::vector<std::unique_ptr<expr>> args;
};
using expr_ptr = std::unique_ptr<expr>;

struct column_clause {
    column_def def;
    bool primary_key = false;
    bool unique = false;
    std::string constraint;
};

struct key_clause {
    std::string constraint;  // empty: generated
    bool primary = false;
    std::vector<std::string> columns;
};

struct create_table_stmt {
    qualified_name table;
    std::vector<column_clause> columns;
    std::vector<key_clause> keys;
};
struct drop_table_stmt { qualified_name table; };
struct alter_table_stmt {
    enum class action { add_key, drop_identity, set_identity, set_generated, restart };
    qualified_name table;
    action what = action::add_key;
    key_clause key;
    std::string column;
    int identity = 0;  // 1 ALWAYS, 2 BY DEFAULT
    bool has_start = false;
    std::int64_t start = 1;
    std::int64_t increment = 1;
};
struct create_index_stmt {
    bool unique = false;
    qualified_name index;
    qualified_name table;
    std::vector<std::pair<std::string, bool>> columns;  // name, descending
};
struct drop_index_stmt { qualified_name index; };
struct insert_stmt {
    qualified_name table;
    std::vector<std::string> columns;  // empty: every column in order
    std::vector<std::vector<expr_ptr>> rows;
};
struct select_item {
    expr_ptr e;        // null for *
    std::string alias;
};
struct order_item {
    expr_ptr e;
    int position = 0;  // ORDER BY 2
    bool descending = false;
};
struct select_stmt {
    std::vector<select_item> items;
    qualified_name from;
    expr_ptr where;
    std::vector<order_item> order;
    std::int64_t fetch_first = -1;
};
struct delete_stmt {
    qualified_name table;
    expr_ptr where;
};
struct set_schema_stmt { std::string schema; bool user = false; };
struct transaction_stmt {};  // COMMIT / ROLLBACK: automatic commit leaves nothing to do

using statement = std::variant<create_table_stmt, drop_table_stmt, alter_table_stmt, create_index_stmt,
                               drop_index_stmt, insert_stmt, select_stmt, delete_stmt, set_schema_stmt,
                               transaction_stmt>;

struct parsed_statement {
    statement body;
    int param_count = 0;
};

// Parses one statement (a trailing ";" is allowed). Throws sim_error.
parsed_statement parse_statement(const std::string& text);

}  // namespace db2sim
