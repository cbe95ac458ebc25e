#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tk/tk_cmdli.h"
#include "tk/tk_errco.h"

namespace {

// "--a" stands before "--ab": the first prefix that starts an argument wins.
const tk_cmd_option k_table[] = {{7, "--a"}, {8, "--ab"}, {1, "--help"}, {2, "--dest="}, {0, ""}};

struct scan_result {
    std::vector<std::pair<int, std::string>> options;
    std::vector<std::string> unmatched;
};

scan_result scan(std::vector<const char*> args) {
    args.insert(args.begin(), "prog");
    tk_cmdli scanner(k_table, static_cast<int>(args.size()), args.data());
    scan_result result;
    while (scanner.next()) result.options.emplace_back(scanner.option(), scanner.value());
    result.unmatched = scanner.unmatched();
    return result;
}

TEST(tk_cmdli, matches_prefixes_in_table_order) {
    using opts = std::vector<std::pair<int, std::string>>;
    struct scan_case {
        const char* name;
        std::vector<const char*> args;
        opts options;
        std::vector<std::string> unmatched;
    };
    const scan_case cases[] = {
        {"no arguments", {}, {}, {}},
        {"exact option", {"--help"}, {{1, ""}}, {}},
        {"longer argument is a prefix match", {"--helpful"}, {{1, "ful"}}, {}},
        {"value behind the prefix", {"--dest=my db"}, {{2, "my db"}}, {}},
        {"empty value", {"--dest="}, {{2, ""}}, {}},
        {"first entry wins", {"--abc"}, {{7, "bc"}}, {}},
        {"no prefix matches", {"-help", "help", "--hel"}, {{-1, ""}, {-1, ""}, {-1, ""}},
         {"-help", "help", "--hel"}},
        {"program name is not scanned", {"--dest=x", "x"}, {{2, "x"}, {-1, ""}}, {"x"}},
    };
    for (const auto& c : cases) {
        scan_result result = scan(c.args);
        EXPECT_EQ(c.options, result.options) << c.name;
        EXPECT_EQ(c.unmatched, result.unmatched) << c.name;
    }
}

TEST(tk_cmdli, keeps_twenty_unmatched_but_counts_all) {
    std::vector<const char*> args(26, "stray");
    tk_cmdli scanner(k_table, static_cast<int>(args.size()), args.data());
    while (scanner.next()) {
    }
    EXPECT_EQ(tk_cmdli::max_unmatched, scanner.unmatched().size());
    EXPECT_EQ(25u, scanner.unmatched_count());
}

TEST(tk_cmdli, null_table_is_internal_error) {
    const char* args[] = {"prog"};
    EXPECT_THROW(tk_cmdli(nullptr, 1, args), tk_mail_assertion);
}

}  // namespace
