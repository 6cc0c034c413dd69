// Commits killed by the operating system (SIGKILL, injected by strace at a chosen system call of a real
// `jet` process): whoever comes next, by any name of the file, with any command and in a folder it cannot
// write, finds the crash undone; and writes refuse files cut short.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "jet/writer.h"
#include "sql_test_data.h"
#include "test_support.h"

namespace jet {
namespace {

namespace fs = std::filesystem;
using test::runCommand;
using test::shellQuote;

std::string tool() {
    return shellQuote(JET_TOOL);
}

/// Runs the jet tool with `args` (quoted), output discarded; its exit code.
int runTool(const std::string& args, std::string* output = nullptr) {
    int code = 0;
    std::string out = runCommand(tool() + " " + args + " 2>&1", &code);
    if (output != nullptr) *output = out;
    return code;
}

/// Runs the jet tool with `args` under strace, which kills it (SIGKILL) at the first call of any of
/// `syscalls` numbered `when` among them: the process dies there as in a crash, with nothing of its own
/// cleaning up.
void runKilledAt(const std::string& syscalls, int when, const std::string& args) {
    ASSERT_EQ(std::system("command -v strace >/dev/null"), 0) << "strace is needed (scripts/setup-deps.sh)";
    std::string command = "strace -f -qq -o /dev/null -e trace=" + syscalls + " -e inject=" + syscalls +
                          ":signal=KILL:when=" + std::to_string(when) + " " + tool() + " " + args +
                          " >/dev/null 2>&1";
    int code = 0;
    runCommand(command, &code);
    ASSERT_NE(code, 0) << "the process was not killed: " << command;
}

/// Kills an UPDATE of Counter's N (0 → 1) at the moment its commit is to become final: every page is
/// written and synced, and only the step that ends the commit (a truncation or an unlink) is left.
void killCommitAtItsEnd(const std::string& path) {
    runKilledAt("ftruncate,unlink,unlinkat", 1,
                "sql " + shellQuote(path) + " " + shellQuote("UPDATE Counter SET N = N + 1 WHERE ID = 1"));
}

/// A database with Counter(ID, N): one row, N = 0.
std::string counterDatabase(const std::string& dir, const std::string& name = "counted.mdb") {
    std::string path = dir + "/" + name;
    EXPECT_TRUE(createDatabase(path).ok());
    std::unique_ptr<Database> db = test::openForWriting(path);
    TableSpec counter{"Counter",
                      {sqltest::column("ID", ColumnType::Long), sqltest::column("N", ColumnType::Long)},
                      {sqltest::index("PrimaryKey", "ID", true)}};
    EXPECT_TRUE(createTable(*db, counter, {{int64_t{1}, int64_t{0}}}).ok());
    return path;
}

/// N as mdbtools reads it, straight from the file, knowing nothing of this engine.
std::string counterSeenByMdbtools(const std::string& path) {
    std::vector<std::vector<std::string>> rows = test::mdbExport(path, "Counter");
    return rows.size() == 2 && rows[1].size() == 2 ? rows[1][1] : "?";
}

/// N as the jet tool reads it through `path`.
std::string counterSeenByTool(const std::string& path) {
    std::string out;
    EXPECT_EQ(runTool("sql " + shellQuote(path) + " " + shellQuote("SELECT N FROM Counter"), &out), 0) << out;
    std::vector<std::vector<std::string>> rows = test::parseCsv(out);
    return rows.size() == 2 && rows[1].size() == 1 ? rows[1][0] : "?";
}

std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CrashRepair, EveryCommandOfTheToolUndoesACommitKilledAtItsEnd) {
    struct Case {
        const char* name;
        std::string args;          // FILE stands for the file
        const char* counterAfter;  // N once the command ran, as mdbtools reads it
        const char* outputHolds;   // a line the command prints
    };
    const std::string update = shellQuote("UPDATE Counter SET N = N + 10 WHERE ID = 1");
    const std::vector<Case> cases = {
        {"tables", "tables FILE", "0", "Counter"},
        {"count", "count FILE Counter", "0", "1"},
        {"schema", "schema FILE Counter", "0", "column N Long"},
        {"export", "export FILE Counter", "0", "1,0"},
        {"select", "sql FILE " + shellQuote("SELECT N FROM Counter"), "0", "0"},
        {"update", "sql FILE " + update, "10", "1"},
        {"import", "import FILE New CSV", "0", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = test::tempDir();
        std::string path = counterDatabase(dir);
        std::string csv = dir + "/new.csv";
        std::ofstream(csv) << "A:long\r\n1\r\n";
        killCommitAtItsEnd(path);
        // The commit reached the file whole; only the step that makes it final is missing.
        ASSERT_EQ(counterSeenByMdbtools(path), "1");
        std::string args = c.args;
        args.replace(args.find("FILE"), 4, shellQuote(path));
        if (size_t at = args.find("CSV"); at != std::string::npos) args.replace(at, 3, shellQuote(csv));
        std::string out;
        EXPECT_EQ(runTool(args, &out), 0) << out;
        EXPECT_NE(out.find(c.outputHolds), std::string::npos) << out;
        EXPECT_EQ(counterSeenByMdbtools(path), c.counterAfter) << "the file itself was not put back";
        // Nothing is left to repair: a second command finds the file as the first left it.
        EXPECT_EQ(counterSeenByTool(path), c.counterAfter);
        EXPECT_EQ(fs::file_size(path) % 4096, 0u);
    }
}

// A commit killed while it wrote through one name of the file is undone by whoever opens it next through
// another; a write made by that name then stands, whatever name is used later.
TEST(CrashRepair, ACommitKilledThroughOneNameIsUndoneThroughAnother) {
    struct Case {
        const char* name;
        bool symbolic;       // a symbolic link, else a second hard link
        bool killedViaLink;  // the commit ran through the link, the repair comes by the first name
    };
    for (const Case& c :
         {Case{"killed through a symlink", true, true}, Case{"killed by the symlink's target", true, false},
          Case{"killed through a hard link", false, true},
          Case{"killed by the first of two hard links", false, false}}) {
        SCOPED_TRACE(c.name);
        std::string dir = test::tempDir();
        std::string path = counterDatabase(dir);
        std::string link = dir + "/link.mdb";
        ASSERT_EQ(c.symbolic ? ::symlink(path.c_str(), link.c_str()) : ::link(path.c_str(), link.c_str()), 0);
        const std::string& killed = c.killedViaLink ? link : path;
        const std::string& next = c.killedViaLink ? path : link;
        killCommitAtItsEnd(killed);
        ASSERT_EQ(counterSeenByMdbtools(next), "1");
        std::string out;
        ASSERT_EQ(runTool("sql " + shellQuote(next) + " " +
                              shellQuote("UPDATE Counter SET N = N + 10 WHERE ID = 1"),
                          &out),
                  0)
            << out;
        EXPECT_EQ(counterSeenByTool(killed), "10");
        EXPECT_EQ(counterSeenByTool(next), "10");
        EXPECT_EQ(counterSeenByMdbtools(killed), "10");
    }
}

// The repair needs the file writable, not its folder: a user who may write the file but not create or
// remove names beside it repairs it once, and later opens find nothing to do.
TEST(CrashRepair, ARepairInAFolderTheUserCannotWriteStands) {
    std::string dir = test::tempDir();
    std::string path = counterDatabase(dir);
    killCommitAtItsEnd(path);
    ASSERT_EQ(counterSeenByMdbtools(path), "1");
    const std::vector<std::string> before = namesIn(dir);
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
    std::string count = tool() + " count " + shellQuote(path) + " Counter 2>&1";
    int result = test::runWithoutRootRights([&] {
        for (int attempt = 0; attempt < 2; ++attempt) {
            int code = 0;
            std::string out = runCommand(count, &code);
            if (code != 0 || out != "1\n") {
                std::fprintf(stderr, "attempt %d: exit %d: %s", attempt, code, out.c_str());
                return 1;
            }
        }
        return 0;
    });
    ::chmod(dir.c_str(), 0755);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(counterSeenByMdbtools(path), "0");
    EXPECT_EQ(namesIn(dir), before);
}

// A program that may not write the file (no write permission bit, which holds even for root) cannot
// repair it: it reads the file as it was before the killed commit, changes nothing, and a write is refused
// saying why. Once the file may be written again, the next command repairs it.
TEST(CrashRepair, AReaderThatMayNotWriteReadsTheFileAsItWasAndChangesNothing) {
    std::string dir = test::tempDir();
    std::string path = counterDatabase(dir);
    killCommitAtItsEnd(path);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const std::vector<uint8_t> crashed = readWholeFile(path).value();
    EXPECT_EQ(counterSeenByTool(path), "0");
    std::string out;
    EXPECT_EQ(runTool("export " + shellQuote(path) + " Counter", &out), 0) << out;
    EXPECT_NE(out.find("1,0"), std::string::npos) << out;
    EXPECT_EQ(runTool("sql " + shellQuote(path) + " " + shellQuote("UPDATE Counter SET N = 7"), &out), 1);
    EXPECT_NE(out.find("read-only"), std::string::npos) << out;
    EXPECT_TRUE(readWholeFile(path).value() == crashed) << "a reader changed the file";
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    EXPECT_EQ(runTool("count " + shellQuote(path) + " Counter", &out), 0) << out;
    EXPECT_EQ(counterSeenByMdbtools(path), "0");
}

// A file cut short (an interrupted copy or download) keeps pages its usage maps list beyond its end: a
// write would put new pages where those rows belong. Writes are refused, the file unchanged; reading the
// tables that are whole goes on.
TEST(CrashRepair, WritesRefuseAFileCutShort) {
    struct Case {
        const char* name;
        uint64_t cutBytes;  // taken off the end
        const char* said;
    };
    std::string dir = test::tempDir();
    std::string whole = counterDatabase(dir, "whole.mdb");
    {
        std::string csv = dir + "/rows.csv";
        std::ofstream out(csv);
        out << "ID:long,Name:text(50)\r\n";
        for (int i = 1; i <= 2000; ++i) out << i << ",\"row number " << i << "\"\r\n";
        out.close();
        ASSERT_EQ(runTool("import " + shellQuote(whole) + " Rows " + shellQuote(csv)), 0);
    }
    std::string csv = dir + "/new.csv";
    std::ofstream(csv) << "A:long\r\n1\r\n";
    const std::vector<std::pair<const char*, std::string>> writes = {
        {"import", "import FILE New " + shellQuote(csv)},
        {"update", "sql FILE " + shellQuote("UPDATE Counter SET N = 5")},
    };
    for (const Case& c : {Case{"mid-page", 4096 + 1000, "whole number of pages"},
                          Case{"at a page boundary", 4096, "beyond the end"}}) {
        for (const auto& [writeName, writeArgs] : writes) {
            SCOPED_TRACE(std::string(c.name) + ", " + writeName);
            std::string path = dir + "/cut.mdb";
            fs::copy_file(whole, path, fs::copy_options::overwrite_existing);
            fs::resize_file(path, fs::file_size(path) - c.cutBytes);
            const std::vector<uint8_t> before = readWholeFile(path).value();
            std::string args = writeArgs;
            args.replace(args.find("FILE"), 4, shellQuote(path));
            std::string out;
            EXPECT_EQ(runTool(args, &out), 1) << out;
            EXPECT_NE(out.find(c.said), std::string::npos) << out;
            EXPECT_TRUE(readWholeFile(path).value() == before) << "the file changed";
            EXPECT_EQ(counterSeenByTool(path), "0");
        }
    }
}

}  // namespace
}  // namespace jet
