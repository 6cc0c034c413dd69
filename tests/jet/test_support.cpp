#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace jet::test {

std::string samplesDir() {
    const char* env = std::getenv("JET_SAMPLES");
    std::string dir = env != nullptr && *env != '\0' ? env : KXVIEW_DEFAULT_SAMPLES;
    if (!fs::is_directory(dir)) {
        ADD_FAILURE() << "The folder of sample Access files is missing: " << dir
                      << ". Set JET_SAMPLES to the jet-samples folder.";
        return {};
    }
    return dir;
}

std::vector<std::string> sampleFiles() {
    std::vector<std::string> files;
    std::string dir = samplesDir();
    if (dir.empty()) return files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        auto ext = entry.path().extension().string();
        if (ext == ".mdb" || ext == ".accdb") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) ADD_FAILURE() << "no .mdb or .accdb files in " << dir;
    return files;
}

OpenOptions optionsFor(const std::string& path) {
    OpenOptions options;
    if (path.find("GBK") != std::string::npos) options.jet3CodePage = "GB18030";
    return options;
}

std::string tempDir() {
    static const fs::path root = [] {
        fs::path p = fs::temp_directory_path() / ("jet-tests-" + std::to_string(::getpid()));
        fs::create_directories(p);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(fs::temp_directory_path() / ("jet-tests-" + std::to_string(::getpid())), ec);
        });
        return p;
    }();
    static int counter = 0;
    fs::path dir = root / std::to_string(++counter);
    fs::create_directories(dir);
    return dir.string();
}

std::string runCommand(const std::string& command, int* exitCode) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        if (exitCode) *exitCode = -1;
        return out;
    }
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    int status = ::pclose(pipe);
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::vector<ScannedRow> scanRows(Database& db, const std::string& table) {
    std::vector<ScannedRow> rows;
    auto def = db.table(table);
    EXPECT_TRUE(def.ok()) << table << ": " << def.status().toString();
    if (!def.ok()) return rows;
    auto cursor = db.scan(*def);
    EXPECT_TRUE(cursor.ok()) << table << ": " << cursor.status().toString();
    while (cursor.ok()) {
        auto more = cursor->next();
        EXPECT_TRUE(more.ok()) << table << ": " << more.status().toString();
        if (!more.ok() || !*more) break;
        auto values = cursor->values();
        EXPECT_TRUE(values.ok()) << table << ": " << values.status().toString();
        if (!values.ok()) break;
        rows.push_back({cursor->rowId(), std::move(values).value()});
    }
    return rows;
}

int runWithoutRootRights(const std::function<int()>& body) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        constexpr uid_t kNobody = 65534;
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(100);
        ::_exit(body());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q.push_back(c);
    }
    return q + "'";
}

std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false, any = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field.push_back('"');
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field.push_back(c);
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
            any = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field.clear();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            row.push_back(std::move(field));
            field.clear();
            rows.push_back(std::move(row));
            row.clear();
            any = false;
        } else {
            field.push_back(c);
            any = true;
        }
    }
    if (any || !field.empty() || !row.empty()) {
        row.push_back(std::move(field));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::unique_ptr<Database> openForWriting(const std::string& path) {
    OpenOptions options;
    options.mode = OpenMode::ReadWrite;
    auto db = Database::open(path, options);
    EXPECT_TRUE(db.ok()) << db.status().toString();
    return db.ok() ? std::move(db).value() : nullptr;
}

std::vector<std::vector<std::string>> mdbExport(const std::string& path, const std::string& table) {
    int code = 0;
    std::string out = runCommand("mdb-export " + shellQuote(path) + " " + shellQuote(table), &code);
    EXPECT_EQ(code, 0) << out;
    return parseCsv(out);
}

}  // namespace jet::test
