// Shared helpers for the engine's tests: the sample folder, temporary files and running tools.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jet/cursor.h"
#include "jet/database.h"

namespace jet::test {

/// The folder of real Access files (JET_SAMPLES, else the checkout's sibling shared/jet-samples).
/// Empty, with a test failure that says why, when it does not exist.
std::string samplesDir();

/// Every .mdb and .accdb file in the samples folder, sorted by name.
std::vector<std::string> sampleFiles();

/// The options a test should open `path` with (GB18030 for the GBK sample's Jet 3 text).
OpenOptions optionsFor(const std::string& path);

/// A fresh empty directory under the system's temporary folder, removed at exit of the process.
std::string tempDir();

/// Runs a shell command, capturing standard output; `exitCode` receives its status.
std::string runCommand(const std::string& command, int* exitCode = nullptr);

/// Quotes `s` for a POSIX shell.
std::string shellQuote(const std::string& s);

/// Opens `path` for reading and writing; null, with a test failure, when it cannot.
std::unique_ptr<Database> openForWriting(const std::string& path);

/// The rows mdb-export prints for `table` of `path`, header first; a test failure when it fails.
std::vector<std::vector<std::string>> mdbExport(const std::string& path, const std::string& table);

/// One scanned row: where it lives and its values.
struct ScannedRow {
    RowId id;
    std::vector<Value> values;
};

/// Every row of `table` in physical order; a failure to read is reported as a test failure and ends
/// the list.
std::vector<ScannedRow> scanRows(Database& db, const std::string& table);

/// Runs `body` in a forked child and returns its exit status (-1 when it did not exit normally). When the
/// tests run as root the child first becomes user nobody, so that file permissions apply to it.
int runWithoutRootRights(const std::function<int()>& body);

/// Parses RFC 4180 CSV into rows of fields.
std::vector<std::vector<std::string>> parseCsv(const std::string& text);

}  // namespace jet::test
