// Tokenizer and parser of the stand-in's SQL. Keywords are matched on the upper-cased token, so
// they are reserved only where the grammar expects them, as in DB2.
#include "sim_sql.h"

#include <cstring>

namespace db2sim {

namespace {

struct token {
    enum class kind { ident, quoted_ident, string, hex_string, graphic_string, number, symbol, param, end };
    kind k = kind::end;
    std::string text;  // identifier (upper case unless quoted), literal content, symbol
    std::string raw;   // as written, for messages
};

constexpr std::size_t max_identifier = 128;

sim_error name_too_long(const std::string& name) {
    return sql_error(-107, "42622", "The name \"" + name + "\" is too long.  The maximum length is \"128\".");
}

std::vector<token> tokenize(const std::string& s) {
    std::vector<token> out;
    std::size_t idx = 0;
    auto is_ident_start = [](unsigned char c) { return std::isalpha(c) || c == '_' || c == '#' || c == '$' || c >= 0x80; };
    auto is_ident_char = [&](unsigned char c) { return is_ident_start(c) || std::isdigit(c); };
    std::string previous = "BEGIN-OF-STATEMENT";
    while (idx < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[idx]);
        if (std::isspace(c)) { ++idx; continue; }
        if (c == '-' && idx + 1 < s.size() && s[idx + 1] == '-') {  // comment to the end of the line
            while (idx < s.size() && s[idx] != '\n') ++idx;
            continue;
        }
        token t;
        std::size_t start = idx;
        auto quoted = [&](char quote, std::string& content) {
            ++idx;
            for (;;) {
                if (idx >= s.size()) throw syntax_error(s.substr(start, 20), previous, std::string(1, quote));
                if (s[idx] == quote) {
                    if (idx + 1 < s.size() && s[idx + 1] == quote) { content.push_back(quote); idx += 2; continue; }
                    ++idx;
                    return;
                }
                content.push_back(s[idx++]);
            }
        };
        if ((c == 'X' || c == 'x') && idx + 1 < s.size() && s[idx + 1] == '\'') {
            ++idx;
            std::string hex;
            quoted('\'', hex);
            if (hex.size() % 2 != 0) throw sql_error(-110, "42606", "Invalid hexadecimal constant beginning \"" + hex + "\".");
            std::string bytes;
            for (std::size_t h = 0; h < hex.size(); h += 2) {
                auto nibble = [&](char ch) -> int {
                    if (ch >= '0' && ch <= '9') return ch - '0';
                    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
                    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
                    throw sql_error(-110, "42606", "Invalid hexadecimal constant beginning \"" + hex + "\".");
                };
                bytes.push_back(static_cast<char>(nibble(hex[h]) * 16 + nibble(hex[h + 1])));
            }
            t.k = token::kind::hex_string;
            t.text = bytes;
        } else if ((c == 'G' || c == 'g' || c == 'N' || c == 'n') && idx + 1 < s.size() && s[idx + 1] == '\'') {
            ++idx;
            quoted('\'', t.text);
            t.k = token::kind::graphic_string;
        } else if (c == '\'') {
            quoted('\'', t.text);
            t.k = token::kind::string;
        } else if (c == '"') {
            quoted('"', t.text);
            if (t.text.empty()) throw sql_error(-7, "42601", "The character \"\"\" following \"" + previous + "\" is not valid.");
            if (t.text.size() > max_identifier) throw name_too_long(t.text);
            t.k = token::kind::quoted_ident;
        } else if (std::isdigit(c) || (c == '.' && idx + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[idx + 1])))) {
            while (idx < s.size() && (std::isdigit(static_cast<unsigned char>(s[idx])) || s[idx] == '.')) ++idx;
            if (idx < s.size() && (s[idx] == 'E' || s[idx] == 'e')) {
                std::size_t save = idx++;
                if (idx < s.size() && (s[idx] == '+' || s[idx] == '-')) ++idx;
                if (idx < s.size() && std::isdigit(static_cast<unsigned char>(s[idx]))) {
                    while (idx < s.size() && std::isdigit(static_cast<unsigned char>(s[idx]))) ++idx;
                } else {
                    idx = save;
                }
            }
            t.k = token::kind::number;
            t.text = s.substr(start, idx - start);
        } else if (is_ident_start(c)) {
            while (idx < s.size() && is_ident_char(static_cast<unsigned char>(s[idx]))) ++idx;
            t.k = token::kind::ident;
            t.text = to_upper(s.substr(start, idx - start));
            if (t.text.size() > max_identifier) throw name_too_long(t.text);
        } else if (c == '?') {
            ++idx;
            t.k = token::kind::param;
            t.text = "?";
        } else {
            static const char* const two[] = {"<=", ">=", "<>", "!=", "||"};
            t.k = token::kind::symbol;
            for (const char* op : two)
                if (s.compare(idx, 2, op) == 0) { t.text = op; idx += 2; break; }
            if (t.text.empty()) {
                if (!std::strchr("(),.*+-/=<>;", static_cast<char>(c)))
                    throw sql_error(-7, "42601", "The character \"" + std::string(1, static_cast<char>(c)) +
                                                     "\" following \"" + previous + "\" is not valid.");
                t.text = std::string(1, static_cast<char>(c));
                ++idx;
            }
        }
        t.raw = s.substr(start, idx - start);
        previous = t.raw;
        out.push_back(std::move(t));
    }
    token end;
    end.raw = "END-OF-STATEMENT";
    out.push_back(end);
    return out;
}

class parser {
public:
    explicit parser(const std::string& text) : tokens_(tokenize(text)) {}

    parsed_statement parse() {
        parsed_statement result;
        result.body = statement_();
        accept_symbol(";");
        if (peek().k != token::kind::end) fail("END-OF-STATEMENT");
        result.param_count = params_;
        return result;
    }

private:
    const token& peek(std::size_t ahead = 0) const {
        std::size_t at = std::min(pos_ + ahead, tokens_.size() - 1);
        return tokens_[at];
    }
    const token& next() {
        const token& t = tokens_[pos_];
        if (pos_ + 1 < tokens_.size()) ++pos_;
        return t;
    }
    [[noreturn]] void fail(std::string_view expected) const {
        std::string after = pos_ == 0 ? "BEGIN-OF-STATEMENT" : tokens_[pos_ - 1].raw;
        throw syntax_error(peek().raw, after, expected);
    }
    bool is_keyword(const char* word, std::size_t ahead = 0) const {
        const token& t = peek(ahead);
        return t.k == token::kind::ident && t.text == word;
    }
    bool accept(const char* word) {
        if (!is_keyword(word)) return false;
        next();
        return true;
    }
    void expect(const char* word) {
        if (!accept(word)) fail(word);
    }
    bool accept_symbol(const char* symbol) {
        if (peek().k == token::kind::symbol && peek().text == symbol) { next(); return true; }
        return false;
    }
    void expect_symbol(const char* symbol) {
        if (!accept_symbol(symbol)) fail(symbol);
    }
    std::string identifier() {
        const token& t = peek();
        if (t.k != token::kind::ident && t.k != token::kind::quoted_ident) fail("<identifier>");
        return next().text;
    }
    qualified_name qname() {
        qualified_name q;
        q.name = identifier();
        if (accept_symbol(".")) {
            q.schema = q.name;
            q.name = identifier();
        }
        return q;
    }
    std::int64_t integer_literal() {
        bool negative = accept_symbol("-");
        const token& t = peek();
        if (t.k != token::kind::number) fail("<integer>");
        value v;
        if (!parse_number(t.text, v) || v.k != value::kind::integer) fail("<integer>");
        next();
        return negative ? -v.i : v.i;
    }

    statement statement_() {
        if (accept("CREATE")) {
            if (accept("TABLE")) return create_table();
            bool unique = accept("UNIQUE");
            if (accept("INDEX")) return create_index(unique);
            fail("TABLE");
        }
        if (accept("DROP")) {
            if (accept("TABLE")) return drop_table_stmt{qname()};
            if (accept("INDEX")) return drop_index_stmt{qname()};
            fail("TABLE");
        }
        if (accept("ALTER")) {
            expect("TABLE");
            return alter_table();
        }
        if (accept("INSERT")) return insert();
        if (is_keyword("SELECT")) return select();
        if (accept("DELETE")) {
            expect("FROM");
            delete_stmt d;
            d.table = qname();
            if (accept("WHERE")) d.where = expression();
            return d;
        }
        if (accept("SET")) {
            accept("CURRENT");
            if (!accept("SCHEMA")) expect("SQLID");
            accept_symbol("=");
            set_schema_stmt s;
            const token& t = peek();
            if (t.k == token::kind::string) {
                s.schema = next().text;
            } else if (is_keyword("USER") || is_keyword("SESSION_USER")) {
                next();
                s.user = true;
            } else {
                s.schema = identifier();
            }
            return s;
        }
        if (accept("COMMIT") || accept("ROLLBACK")) {
            accept("WORK");
            return transaction_stmt{};
        }
        fail("CREATE");
    }

    // CREATE TABLE ------------------------------------------------------------------------------
    statement create_table() {
        create_table_stmt c;
        c.table = qname();
        expect_symbol("(");
        do {
            if (is_keyword("PRIMARY") || is_keyword("UNIQUE") || is_keyword("CONSTRAINT")) {
                c.keys.push_back(key_definition());
            } else {
                c.columns.push_back(column_definition());
            }
        } while (accept_symbol(","));
        expect_symbol(")");
        return c;
    }

    key_clause key_definition() {
        key_clause k;
        if (accept("CONSTRAINT")) k.constraint = identifier();
        if (accept("PRIMARY")) {
            expect("KEY");
            k.primary = true;
        } else {
            expect("UNIQUE");
        }
        expect_symbol("(");
        do k.columns.push_back(identifier());
        while (accept_symbol(","));
        expect_symbol(")");
        return k;
    }

    std::int64_t length_in_parens(bool lob) {
        std::int64_t n = integer_literal();
        if (lob) {
            if (accept("K")) n *= 1024;
            else if (accept("M")) n *= 1024 * 1024;
            else if (accept("G")) n *= 1024LL * 1024 * 1024;
        }
        expect_symbol(")");
        return n;
    }

    sim_error bad_length(const std::string& column) {
        return sql_error(-604, "42611",
                         "The length, precision, or scale attribute for column, distinct type, structured type, "
                         "array type, attribute of structured type, routine, cast target type, type mapping, or "
                         "global variable \"" + column + "\" is not valid.");
    }

    void data_type(column_def& d) {
        const token& t = peek();
        if (t.k != token::kind::ident) fail("<data type>");
        std::string word = next().text;
        auto optional_length = [&](std::int64_t fallback, bool lob = false) {
            return accept_symbol("(") ? length_in_parens(lob) : fallback;
        };
        auto check = [&](bool ok) { if (!ok) throw bad_length(d.name); };
        if (word == "SMALLINT") { d.type = col_type::smallint; return; }
        if (word == "INTEGER" || word == "INT") { d.type = col_type::integer; return; }
        if (word == "BIGINT") { d.type = col_type::bigint; return; }
        if (word == "REAL") { d.type = col_type::real; return; }
        if (word == "DOUBLE") { accept("PRECISION"); d.type = col_type::dbl; return; }
        if (word == "FLOAT") {
            std::int64_t n = optional_length(53);
            check(n >= 1 && n <= 53);
            d.type = n <= 24 ? col_type::real : col_type::dbl;
            return;
        }
        if (word == "DECIMAL" || word == "DEC" || word == "NUMERIC") {
            d.type = col_type::decimal;
            d.length = 5;
            d.scale = 0;
            if (accept_symbol("(")) {
                d.length = integer_literal();
                if (accept_symbol(",")) d.scale = static_cast<int>(integer_literal());
                expect_symbol(")");
            }
            check(d.length >= 1 && d.length <= 31 && d.scale >= 0 && d.scale <= d.length);
            return;
        }
        if (word == "DECFLOAT") {
            d.type = col_type::decfloat;
            d.length = optional_length(34);
            check(d.length == 16 || d.length == 34);
            return;
        }
        if (word == "CHAR" || word == "CHARACTER" || word == "VARCHAR") {
            bool varying = word == "VARCHAR" || accept("VARYING");
            if (varying) {
                if (!accept_symbol("(")) fail("(");
                d.length = length_in_parens(false);
            } else {
                d.length = optional_length(1);
            }
            bool bit = false;
            if (accept("FOR")) {
                expect("BIT");
                expect("DATA");
                bit = true;
            }
            d.type = varying ? (bit ? col_type::varbinary : col_type::varchar) : (bit ? col_type::binary : col_type::chr);
            check(d.length >= 1 && d.length <= (varying ? 32672 : 255));
            return;
        }
        if (word == "GRAPHIC") {
            d.type = col_type::graphic;
            d.length = optional_length(1);
            check(d.length >= 1 && d.length <= 127);
            return;
        }
        if (word == "VARGRAPHIC") {
            d.type = col_type::vargraphic;
            if (!accept_symbol("(")) fail("(");
            d.length = length_in_parens(false);
            check(d.length >= 1 && d.length <= 16336);
            return;
        }
        if (word == "CLOB" || word == "BLOB" || word == "DBCLOB") {
            d.type = word == "CLOB" ? col_type::clob : word == "BLOB" ? col_type::blob : col_type::dbclob;
            d.length = optional_length(1048576, true);
            std::int64_t limit = d.type == col_type::dbclob ? 1073741823 : 2147483647;
            check(d.length >= 1 && d.length <= limit);
            return;
        }
        if (word == "DATE") { d.type = col_type::date; return; }
        if (word == "TIME") { d.type = col_type::time; return; }
        if (word == "TIMESTAMP") {
            d.type = col_type::timestamp;
            d.scale = static_cast<int>(optional_length(6));
            check(d.scale >= 0 && d.scale <= 12);
            return;
        }
        if (word == "XML") { d.type = col_type::xml; return; }
        --pos_;
        fail("<data type>");
    }

    // A DEFAULT constant in the form SYSCAT.COLUMNS keeps it.
    std::string default_constant(column_def& d) {
        const token& t = peek();
        auto quote = [](const std::string& text) {
            std::string out = "'";
            for (char c : text) {
                out.push_back(c);
                if (c == '\'') out.push_back('\'');
            }
            return out + "'";
        };
        if (t.k == token::kind::string) return quote(next().text);
        if (t.k == token::kind::graphic_string) return "G" + quote(next().text);
        if (t.k == token::kind::hex_string) return "X'" + hex_upper(next().text) + "'";
        if (accept("NULL")) return "NULL";
        if (accept("CURRENT")) {
            if (accept("DATE")) return "CURRENT DATE";
            if (accept("TIME")) return "CURRENT TIME";
            if (accept("TIMESTAMP")) return "CURRENT TIMESTAMP";
            fail("DATE");
        }
        if (accept("USER")) return "USER";
        std::string sign;
        if (accept_symbol("-")) sign = "-";
        else accept_symbol("+");
        if (peek().k != token::kind::number) fail("<constant>");
        (void)d;
        return sign + next().text;
    }

    column_clause column_definition() {
        column_clause clause;
        column_def& d = clause.def;
        d.name = identifier();
        data_type(d);
        for (;;) {
            if (accept("NOT")) {
                if (accept("NULL")) { d.nullable = false; continue; }
                if (accept("LOGGED")) { d.logged = false; continue; }
                expect("NULL");
            }
            if (accept("LOGGED")) { d.logged = true; continue; }
            if (accept("WITH")) {
                expect("DEFAULT");
                if (!peek_is_constant()) fail("<constant>");
                d.has_default = true;
                d.default_text = default_constant(d);
                continue;
            }
            if (accept("DEFAULT")) {
                if (!peek_is_constant()) fail("<constant>");
                d.has_default = true;
                d.default_text = default_constant(d);
                continue;
            }
            if (accept("GENERATED")) {
                if (accept("ALWAYS")) d.identity = 1;
                else if (accept("BY")) { expect("DEFAULT"); d.identity = 2; }
                else fail("ALWAYS");  // the bare form is not DB2 syntax
                expect("AS");
                expect("IDENTITY");
                identity_options(d.ident_start, d.ident_increment, nullptr);
                d.ident_next = d.ident_start;
                continue;
            }
            if (is_keyword("CONSTRAINT") || is_keyword("PRIMARY") || is_keyword("UNIQUE")) {
                if (accept("CONSTRAINT")) clause.constraint = identifier();
                if (accept("PRIMARY")) { expect("KEY"); clause.primary_key = true; continue; }
                expect("UNIQUE");
                clause.unique = true;
                continue;
            }
            break;
        }
        return clause;
    }

    bool peek_is_constant() const {
        const token& t = peek();
        return t.k == token::kind::string || t.k == token::kind::graphic_string || t.k == token::kind::hex_string ||
               t.k == token::kind::number || (t.k == token::kind::symbol && (t.text == "-" || t.text == "+")) ||
               is_keyword("NULL") || is_keyword("CURRENT") || is_keyword("USER");
    }

    void identity_options(std::int64_t& start, std::int64_t& increment, bool* has_start) {
        if (!accept_symbol("(")) return;
        do {
            if (accept("START")) {
                expect("WITH");
                start = integer_literal();
                if (has_start) *has_start = true;
            } else if (accept("INCREMENT")) {
                expect("BY");
                increment = integer_literal();
                if (increment == 0) fail("<nonzero increment>");
            } else {
                fail("START");
            }
            accept_symbol(",");
        } while (!accept_symbol(")"));
    }

    // ALTER TABLE ------------------------------------------------------------------------------
    statement alter_table() {
        alter_table_stmt a;
        a.table = qname();
        if (accept("ADD")) {
            a.what = alter_table_stmt::action::add_key;
            if (!is_keyword("CONSTRAINT") && !is_keyword("PRIMARY") && !is_keyword("UNIQUE")) fail("CONSTRAINT");
            a.key = key_definition();
            return a;
        }
        expect("ALTER");
        accept("COLUMN");
        a.column = identifier();
        if (accept("DROP")) {
            expect("IDENTITY");
            a.what = alter_table_stmt::action::drop_identity;
            return a;
        }
        if (accept("RESTART")) {
            a.what = alter_table_stmt::action::restart;
            if (accept("WITH")) {
                a.start = integer_literal();
                a.has_start = true;
            }
            return a;
        }
        expect("SET");
        expect("GENERATED");
        if (accept("ALWAYS")) a.identity = 1;
        else if (accept("BY")) { expect("DEFAULT"); a.identity = 2; }
        else fail("ALWAYS");  // "SET GENERATED AS IDENTITY" is not DB2 syntax
        if (accept("AS")) {
            expect("IDENTITY");
            a.what = alter_table_stmt::action::set_identity;
            identity_options(a.start, a.increment, &a.has_start);
        } else {
            a.what = alter_table_stmt::action::set_generated;
        }
        return a;
    }

    statement create_index(bool unique) {
        create_index_stmt c;
        c.unique = unique;
        c.index = qname();
        expect("ON");
        c.table = qname();
        expect_symbol("(");
        do {
            std::string name = identifier();
            bool desc = false;
            if (accept("DESC")) desc = true;
            else accept("ASC");
            c.columns.emplace_back(name, desc);
        } while (accept_symbol(","));
        expect_symbol(")");
        return c;
    }

    // INSERT -----------------------------------------------------------------------------------
    statement insert() {
        expect("INTO");
        insert_stmt s;
        s.table = qname();
        if (accept_symbol("(")) {
            do s.columns.push_back(identifier());
            while (accept_symbol(","));
            expect_symbol(")");
        }
        expect("VALUES");
        auto row = [&] {
            std::vector<expr_ptr> values;
            if (accept_symbol("(")) {
                do values.push_back(insert_value());
                while (accept_symbol(","));
                expect_symbol(")");
            } else {
                values.push_back(insert_value());
            }
            s.rows.push_back(std::move(values));
        };
        do row();
        while (accept_symbol(","));
        return s;
    }

    expr_ptr insert_value() {
        if (accept("DEFAULT")) {
            auto e = std::make_unique<expr>();
            e->o = expr::op::default_value;
            return e;
        }
        return expression();
    }

    // SELECT -----------------------------------------------------------------------------------
    statement select() {
        expect("SELECT");
        select_stmt s;
        do {
            select_item item;
            if (!accept_symbol("*")) {
                item.e = expression();
                if (accept("AS")) item.alias = identifier();
                else if (peek().k == token::kind::quoted_ident ||
                         (peek().k == token::kind::ident && !is_keyword("FROM")))
                    item.alias = identifier();
            }
            s.items.push_back(std::move(item));
        } while (accept_symbol(","));
        expect("FROM");
        s.from = qname();
        if (accept("WHERE")) s.where = expression();
        if (accept("ORDER")) {
            expect("BY");
            do {
                order_item o;
                if (peek().k == token::kind::number) {
                    o.position = static_cast<int>(integer_literal());
                } else {
                    o.e = expression();
                }
                if (accept("DESC")) o.descending = true;
                else accept("ASC");
                s.order.push_back(std::move(o));
            } while (accept_symbol(","));
        }
        if (accept("FETCH")) {
            expect("FIRST");
            s.fetch_first = peek().k == token::kind::number ? integer_literal() : 1;
            if (!accept("ROWS")) expect("ROW");
            expect("ONLY");
        }
        return s;
    }

    // Expressions ------------------------------------------------------------------------------
    expr_ptr make(expr::op o, expr_ptr left = nullptr, expr_ptr right = nullptr) {
        auto e = std::make_unique<expr>();
        e->o = o;
        if (left) e->args.push_back(std::move(left));
        if (right) e->args.push_back(std::move(right));
        return e;
    }

    expr_ptr expression() {
        expr_ptr left = and_expression();
        while (accept("OR")) left = make(expr::op::or_, std::move(left), and_expression());
        return left;
    }
    expr_ptr and_expression() {
        expr_ptr left = not_expression();
        while (accept("AND")) left = make(expr::op::and_, std::move(left), not_expression());
        return left;
    }
    expr_ptr not_expression() {
        if (accept("NOT")) return make(expr::op::not_, not_expression());
        return predicate();
    }
    expr_ptr predicate() {
        expr_ptr left = additive();
        if (accept("IS")) {
            bool negated = accept("NOT");
            expect("NULL");
            return make(negated ? expr::op::is_not_null : expr::op::is_null, std::move(left));
        }
        static const std::pair<const char*, expr::op> comparisons[] = {
            {"=", expr::op::eq}, {"<>", expr::op::ne}, {"!=", expr::op::ne}, {"<", expr::op::lt},
            {"<=", expr::op::le}, {">", expr::op::gt}, {">=", expr::op::ge}};
        for (const auto& [symbol, o] : comparisons)
            if (accept_symbol(symbol)) return make(o, std::move(left), additive());
        return left;
    }
    expr_ptr additive() {
        expr_ptr left = multiplicative();
        for (;;) {
            if (accept_symbol("+")) left = make(expr::op::add, std::move(left), multiplicative());
            else if (accept_symbol("-")) left = make(expr::op::sub, std::move(left), multiplicative());
            else if (accept_symbol("||")) left = make(expr::op::concat, std::move(left), multiplicative());
            else return left;
        }
    }
    expr_ptr multiplicative() {
        expr_ptr left = unary();
        for (;;) {
            if (accept_symbol("*")) left = make(expr::op::mul, std::move(left), unary());
            else if (accept_symbol("/")) left = make(expr::op::div, std::move(left), unary());
            else return left;
        }
    }
    expr_ptr unary() {
        if (accept_symbol("-")) {
            if (peek().k == token::kind::number) {  // a negative constant stays a constant
                expr_ptr e = primary();
                value& v = e->literal;
                if (v.k == value::kind::integer) v.i = -v.i;
                else if (v.k == value::kind::decimal) v.dec = -v.dec;
                else v.d = -v.d;
                return e;
            }
            return make(expr::op::neg, unary());
        }
        accept_symbol("+");
        return primary();
    }
    expr_ptr primary() {
        const token& t = peek();
        auto e = std::make_unique<expr>();
        switch (t.k) {
            case token::kind::number: {
                std::string text = next().text;
                e->o = expr::op::literal;
                if (text.find_first_of("Ee") != std::string::npos) {
                    e->literal.set_double(std::strtod(text.c_str(), nullptr));
                    e->literal_type = col_type::dbl;
                } else if (!parse_number(text, e->literal)) {
                    throw sql_error(-405, "42820", "The numeric literal \"" + text + "\" is not valid because its value is out of range.");
                } else {
                    e->literal_type = e->literal.k == value::kind::integer
                                          ? (e->literal.i >= INT32_MIN && e->literal.i <= INT32_MAX ? col_type::integer : col_type::bigint)
                                          : col_type::decimal;
                }
                return e;
            }
            case token::kind::string:
                e->literal.set_text(next().text);
                e->literal_type = col_type::varchar;
                return e;
            case token::kind::graphic_string:
                e->literal.set_text(next().text);
                e->literal_type = col_type::vargraphic;
                return e;
            case token::kind::hex_string:
                e->literal.set_bytes(next().text);
                e->literal_type = col_type::varbinary;
                return e;
            case token::kind::param:
                next();
                e->o = expr::op::param;
                e->param_index = params_++;
                return e;
            case token::kind::symbol:
                if (accept_symbol("(")) {
                    expr_ptr inner = expression();
                    expect_symbol(")");
                    return inner;
                }
                fail("<expression>");
            case token::kind::ident:
            case token::kind::quoted_ident:
                break;
            case token::kind::end:
                fail("<expression>");
        }
        if (t.k == token::kind::ident) {
            if (accept("NULL")) {
                e->literal.set_null();
                return e;
            }
            if (is_keyword("CURRENT") && peek(1).k == token::kind::ident) {
                next();
                if (accept("DATE")) e->o = expr::op::current_date;
                else if (accept("TIME")) e->o = expr::op::current_time;
                else if (accept("TIMESTAMP")) e->o = expr::op::current_timestamp;
                else if (accept("SCHEMA")) e->o = expr::op::current_schema;
                else fail("DATE");
                return e;
            }
            if (is_keyword("USER") && !(peek(1).k == token::kind::symbol && peek(1).text == "(")) {
                next();
                e->o = expr::op::user;
                return e;
            }
            if (peek(1).k == token::kind::symbol && peek(1).text == "(") {
                e->o = expr::op::func;
                e->name = next().text;
                next();  // (
                if ((e->name == "COUNT" || e->name == "COUNT_BIG") && accept_symbol("*")) {
                    e->o = expr::op::count_star;
                    expect_symbol(")");
                    return e;
                }
                if (!accept_symbol(")")) {
                    do e->args.push_back(expression());
                    while (accept_symbol(","));
                    expect_symbol(")");
                }
                return e;
            }
        }
        e->o = expr::op::column;
        e->name = identifier();
        if (accept_symbol(".")) e->name = identifier();  // a qualified column: the table is the FROM table
        return e;
    }

    std::vector<token> tokens_;
    std::size_t pos_ = 0;
    int params_ = 0;
};

}  // namespace

parsed_statement parse_statement(const std::string& text) {
    parser p(text);
    return p.parse();
}

}  // namespace db2sim
