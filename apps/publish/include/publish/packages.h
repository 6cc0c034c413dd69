// The files of an update service: ZIP packages, the update manifest and information files, all written
// byte for byte the same from the same input.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "jet/status.h"

namespace publish {

/// One member of a ZIP package.
struct ZipMember {
    ZipMember(std::string memberName, std::vector<uint8_t> memberContent)
        : name(std::move(memberName)), content(std::move(memberContent)) {}
    ZipMember(std::string memberName, std::filesystem::path sourceFile)
        : name(std::move(memberName)), file(std::move(sourceFile)) {}

    std::string name;  // UTF-8, stored with the UTF-8 flag; with rawName, bytes stored as they are
    std::vector<uint8_t> content;
    std::filesystem::path file;  // non-empty: the content is this file's, read as the archive is written
    bool rawName = false;  // store the name's bytes without the UTF-8 flag (as a Chinese Windows archiver)
    std::string password;  // non-empty: the member is encrypted (traditional PKWARE) with it
};

/// Writes a ZIP archive holding `members` (fixed timestamps, so equal input gives equal bytes).
jet::Status writeZip(const std::filesystem::path& path, const std::vector<ZipMember>& members);

/// Reads a whole file.
jet::Result<std::vector<uint8_t>> readFile(const std::filesystem::path& path);
/// Writes a whole file, replacing it.
jet::Status writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& content);

/// One entry of an update manifest: a file of the package, where it goes, and its register flag.
struct ManifestEntry {
    std::string source;  // relative to the package folder, '\'-separated
    std::string target;  // "...\dir\file" below the application directory, "<SYS>file", or absolute
    std::optional<std::string> registerFlag;  // "1" (or "1.0") registers; no value: no third attribute
};

/// The text of Update.xml listing `entries`.
std::string updateManifest(const std::vector<ManifestEntry>& entries);

/// One change line of an information file.
struct ChangeLine {
    std::string text;
    int mark = 0;  // above 0: emphasised
};

/// The text of a quota library's information file offering `version` with `changes`.
std::string informationFile(const std::string& version, const std::vector<ChangeLine>& changes);

/// The bytes of `s`.
std::vector<uint8_t> toBytes(const std::string& s);

}  // namespace publish
