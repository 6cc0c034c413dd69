// Statements a host must survive: nesting and operator chains far beyond any real statement end in a
// clear error instead of a crash, huge patterns and statements cost little, and messages stay short.
// Like patterns are also checked against a plain backtracking matcher on random cases.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "jet/sql.h"
#include "sql/text_match.h"
#include "sql_test_data.h"
#include "test_support.h"

namespace jet {
namespace {

class SqlLimitsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string path = test::tempDir() + "/limits.mdb";
        ASSERT_TRUE(sqltest::buildSampleDatabase(path).ok());
        OpenOptions options;
        options.mode = OpenMode::ReadWrite;
        auto db = Database::open(path, options);
        ASSERT_TRUE(db.ok()) << db.status().toString();
        // 2,000 more rows for the pattern cases.
        std::vector<Row> rows;
        for (int64_t id = 100; id < 2100; ++id)
            rows.push_back(
                {id, Value(), Value(), "name " + std::to_string(id), Value(), Value(), false, Value()});
        ASSERT_TRUE(insertRows(**db, "DM", rows).ok());
        s_db = std::move(db).value().release();
        s_sql = new sql::Connection(*s_db);
    }
    static void TearDownTestSuite() {
        delete s_sql;
        delete s_db;
    }

    static Database* s_db;
    static sql::Connection* s_sql;
};

Database* SqlLimitsTest::s_db = nullptr;
sql::Connection* SqlLimitsTest::s_sql = nullptr;

std::string repeat(const std::string& s, size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

std::string where(const std::string& condition) {
    return "SELECT * FROM DM WHERE " + condition;
}

struct Hostile {
    const char* name;
    std::string sql;
};

// Each of these once overflowed the stack of the parser, the binder or the evaluator.
std::vector<Hostile> hostileStatements() {
    const size_t n = 20000;
    return {
        {"parentheses", where(repeat("(", n) + "ID=1" + repeat(")", n))},
        {"function calls", where(repeat("Len(", n) + "Name" + repeat(")", n) + "=1")},
        {"NOT", where(repeat("NOT ", n) + "ID=1")},
        {"unary minus", where("ID=" + repeat("-", n) + "1")},
        {"unary plus", where("ID=" + repeat("+", n) + "1")},
        {"plus chain", where("ID=1" + repeat("+1", n))},
        {"concatenation chain", where("Name='a'" + repeat("&'a'", n))},
        {"OR chain", where("ID=1" + repeat(" OR ID=1", n))},
        {"AND chain", where("ID=1" + repeat(" AND ID=1", n))},
        {"comparison in parentheses", where(repeat("(ID=", n) + "1" + repeat(")", n))},
        {"UPDATE value", "UPDATE DM SET Qty = 1" + repeat("+1", n) + " WHERE ID=1"},
        {"ORDER BY key", "SELECT * FROM DM ORDER BY " + repeat("(", n) + "ID" + repeat(")", n)},
    };
}

TEST_F(SqlLimitsTest, DeepNestingAndLongChainsAreRefusedClearly) {
    for (const Hostile& h : hostileStatements()) {
        SCOPED_TRACE(h.name);
        Status s =
            h.sql.rfind("UPDATE", 0) == 0 ? s_sql->execute(h.sql).status() : s_sql->query(h.sql).status();
        EXPECT_TRUE(s.isInvalidArgument()) << s.toString().substr(0, 300);
        EXPECT_NE(s.message().find("too complex"), std::string::npos) << s.toString().substr(0, 300);
        EXPECT_LT(s.message().size(), 400u);
    }
}

// Well inside the limits, the same shapes still run and give the right answer.
TEST_F(SqlLimitsTest, NestingAndChainsOfRealisticSizeRun) {
    struct Case {
        std::string sql;
        size_t rows;
    };
    const Case cases[] = {
        {where(repeat("(", 150) + "ID=3" + repeat(")", 150)), 1},
        {where(repeat("NOT ", 150) + "ID=3"), 1},  // an even count of NOTs
        {where("ID=0" + repeat(" OR ID=3", 900)), 1},
        {where("ID=3" + repeat(" AND ID=3", 900)), 1},
        {where("Qty=10" + repeat("+0", 900)), 2},
        {where("ID=" + repeat("-", 150) + "3"), 1},
        {where("ID=3 AND " + repeat("Trim(", 150) + "Name" + repeat(")", 150) + " <> ''"), 1},
    };
    for (const Case& c : cases) {
        auto rs = s_sql->query(c.sql);
        ASSERT_TRUE(rs.ok()) << rs.status().toString().substr(0, 300);
        EXPECT_EQ(rs->rows.size(), c.rows) << c.sql.substr(0, 60);
    }
}

// Sorting has bounds like the other limits: keys per ORDER BY, and the memory its keys take (settable).
TEST_F(SqlLimitsTest, SortsBeyondTheirBoundsAreRefusedAndTheConnectionGoesOn) {
    const std::string tenThousandKeys = "SELECT * FROM DM ORDER BY Name" + repeat(", Name", 9999);
    const std::string twentyKeys = "SELECT * FROM DM ORDER BY Name" + repeat(", Name & ID", 19);
    struct Case {
        std::string sql;
        size_t sortMemory;
        const char* fragment;  // empty: runs
    };
    const Case cases[] = {
        {tenThousandKeys, size_t{256} << 20, "ORDER BY has more than 255 keys"},
        {"SELECT * FROM DM ORDER BY Name" + repeat(", Name", 254), size_t{256} << 20, ""},
        {twentyKeys, size_t{1} << 20, "sorting its rows needs more than 1 MB"},
        {twentyKeys, size_t{256} << 20, ""},
        {"SELECT ID FROM DM ORDER BY ID + 1, ID + 2", size_t{16} << 10,
         "sorting its rows needs more than 16 KB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql.substr(0, 80));
        s_sql->setSortMemoryLimit(c.sortMemory);
        auto rs = s_sql->query(c.sql);
        if (std::string(c.fragment).empty()) {
            ASSERT_TRUE(rs.ok()) << rs.status().toString();
            EXPECT_EQ(rs->rows.size(), 2006u);
        } else {
            ASSERT_FALSE(rs.ok());
            EXPECT_TRUE(rs.status().isInvalidArgument()) << rs.status().toString();
            EXPECT_NE(rs.status().message().find("Query is too complex"), std::string::npos);
            EXPECT_NE(rs.status().message().find(c.fragment), std::string::npos) << rs.status().toString();
        }
    }
    s_sql->setSortMemoryLimit(size_t{256} << 20);
    EXPECT_EQ(s_sql->query("SELECT ID FROM DM WHERE ID = 3").value().rows.size(), 1u);
}

// A statement that needs more memory than the process may have fails with an error instead of ending the
// program: here in a child process whose address space is capped a little above what it uses.
TEST_F(SqlLimitsTest, RunningOutOfMemoryIsAnErrorNotAnAbort) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator aborts instead of failing an allocation";
#else
    // About 2,000 rows times 200 keys of 60-character texts: some 100 MB of sort keys.
    const std::string statement =
        "SELECT * FROM DM ORDER BY Name" + repeat(", Name & Name & Name & Name & Name", 199);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long pages = 0;
        FILE* statm = std::fopen("/proc/self/statm", "r");
        if (statm == nullptr || std::fscanf(statm, "%ld", &pages) != 1) _exit(3);
        std::fclose(statm);
        const rlim_t cap =
            static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (48u << 20);
        const rlimit limit{cap, cap};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(3);
        auto rs = s_sql->query(statement);
        if (rs.ok()) _exit(1);
        const bool named = rs.status().message().find("System resource exceeded") != std::string::npos;
        // The connection still answers once the memory is back.
        _exit(named && s_sql->query("SELECT ID FROM DM WHERE ID = 3").ok() ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the statement ran, 2: another error, 3: no cap";
#endif
}

TEST_F(SqlLimitsTest, HugePatternsCostLittleAndMatchCorrectly) {
    struct Case {
        std::string pattern;
        size_t rows;
    };
    const Case cases[] = {
        {repeat("*", 10000), 2006},                           // every name
        {repeat("*", 5000) + "1" + repeat("*", 5000), 1271},  // the names whose number holds a 1
        {repeat("x", 65536), 0},                              // longer than any name
        {"*" + repeat("?", 65536) + "*", 0},
        {repeat("*[a-z]", 3000), 0},  // more letters than any name has
    };
    for (const Case& c : cases) {
        auto rs = s_sql->query(where("Name Like '" + c.pattern + "'"));
        ASSERT_TRUE(rs.ok()) << rs.status().toString().substr(0, 300);
        EXPECT_EQ(rs->rows.size(), c.rows) << c.pattern.substr(0, 40);
    }
}

TEST_F(SqlLimitsTest, MessagesAboutHugeStatementsStayShort) {
    const std::string big(1 << 20, 'x');
    const Status statuses[] = {
        s_sql->query("SELECT * FROM DM WHERE " + big + " =").status(),
        s_sql->query("SELECT * FROM DM WHERE [" + big + "] = 1").status(),
        s_sql->query("SELECT * FROM [" + big + "]").status(),
        s_sql->query("SELECT * FROM DM WHERE Name Like '[" + big + "'").status(),
        s_sql->query("SELECT * FROM DM WHERE " + big + "(1) = 1").status(),
        s_sql->execute("SELECT * FROM DM WHERE Name = '" + big + "'").status(),
    };
    for (const Status& s : statuses) {
        EXPECT_FALSE(s.ok());
        EXPECT_LT(s.toString().size(), 600u) << s.toString().substr(0, 200);
    }
}

// ---------------------------------------------------------------------------------------------------------
// Like against a reference matcher.

/// The textbook recursive matcher over single-byte text: slow but plainly right.
bool referenceLike(std::string_view text, std::string_view pattern) {
    if (pattern.empty()) return text.empty();
    char p = pattern[0];
    if (p == '*') {
        for (size_t skip = 0; skip <= text.size(); ++skip) {
            if (referenceLike(text.substr(skip), pattern.substr(1))) return true;
        }
        return false;
    }
    if (text.empty()) return false;
    char t = text[0];
    if (p == '[') {
        size_t close = pattern.find(']');
        std::string_view set = pattern.substr(1, close - 1);
        bool negated = !set.empty() && set[0] == '!';
        if (negated) set.remove_prefix(1);
        bool in = set.find(t) != std::string_view::npos;
        return in != negated && referenceLike(text.substr(1), pattern.substr(close + 1));
    }
    bool one = p == '?' || (p == '#' && t >= '0' && t <= '9') || p == t;
    return one && referenceLike(text.substr(1), pattern.substr(1));
}

TEST(LikePattern, AgreesWithAPlainMatcherOnRandomCases) {
    std::mt19937 random(20261206);
    const char* pieces[] = {"a", "b", "1", "?", "#", "*", "**", "[ab]", "[!a]"};
    const char letters[] = {'a', 'b', '1'};
    int matched = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string pattern, text;
        for (int i = std::uniform_int_distribution<int>(0, 6)(random); i > 0; --i)
            pattern += pieces[std::uniform_int_distribution<size_t>(0, std::size(pieces) - 1)(random)];
        for (int i = std::uniform_int_distribution<int>(0, 8)(random); i > 0; --i)
            text += letters[std::uniform_int_distribution<size_t>(0, 2)(random)];
        auto compiled = sql::LikePattern::compile(pattern);
        ASSERT_TRUE(compiled.ok()) << pattern;
        bool expected = referenceLike(text, pattern);
        ASSERT_EQ(compiled->matches(text), expected) << "'" << text << "' Like '" << pattern << "'";
        matched += expected;
    }
    EXPECT_GT(matched, 1000);  // the cases are not all misses
}

}  // namespace
}  // namespace jet
