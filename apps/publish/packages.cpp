#include "publish/packages.h"

#include <zip.h>

#include <fstream>
#include <iterator>
#include <memory>

namespace publish {
namespace {

std::string xmlEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// 2024-01-01 00:00 UTC: archives carry a fixed time so that builds are reproducible.
constexpr time_t kArchiveTime = 1704067200;

// zlib's own default level. Without a level libzip deflates at the maximum, which took most of a sample
// build's time for packages barely smaller.
constexpr zip_uint32_t kDeflateLevel = 6;

/// Adds `m` to `archive` with the fixed time, the deflate level and, when it has one, its password.
bool addMember(zip_t* archive, const ZipMember& m) {
    // The buffer or the file is read at zip_close; members outlive it.
    zip_source_t* source = m.file.empty() ? zip_source_buffer(archive, m.content.data(), m.content.size(), 0)
                                          : zip_source_file(archive, m.file.c_str(), 0, -1);
    if (source == nullptr) return false;
    const zip_flags_t encoding = m.rawName ? ZIP_FL_ENC_CP437 : ZIP_FL_ENC_UTF_8;
    const zip_int64_t added = zip_file_add(archive, m.name.c_str(), source, encoding | ZIP_FL_OVERWRITE);
    if (added < 0) {
        zip_source_free(source);
        return false;
    }
    const auto index = static_cast<zip_uint64_t>(added);
    return zip_file_set_mtime(archive, index, kArchiveTime, 0) == 0 &&
           zip_set_file_compression(archive, index, ZIP_CM_DEFLATE, kDeflateLevel) == 0 &&
           (m.password.empty() ||
            zip_file_set_encryption(archive, index, ZIP_EM_TRAD_PKWARE, m.password.c_str()) == 0);
}

/// Drops the unfinished archive; the error of `what` with libzip's reason.
jet::Status discard(zip_t* archive, const std::string& what) {
    const jet::Status failed = jet::Status::IOError(what + ": " + zip_strerror(archive));
    zip_discard(archive);
    return failed;
}

}  // namespace

std::vector<uint8_t> toBytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

jet::Result<std::vector<uint8_t>> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return jet::Status::IOError("cannot read " + path.string());
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

jet::Status writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) return jet::Status::IOError("cannot write " + path.string());
    return jet::Status();
}

jet::Status writeZip(const std::filesystem::path& path, const std::vector<ZipMember>& members) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) return jet::Status::IOError("cannot create " + path.string());
    for (const ZipMember& m : members) {
        if (!addMember(archive, m)) return discard(archive, path.string() + ": " + m.name);
    }
    if (zip_close(archive) != 0) return discard(archive, path.string());
    return jet::Status();
}

std::string updateManifest(const std::vector<ManifestEntry>& entries) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Update>\r\n";
    for (const ManifestEntry& e : entries) {
        xml += "  <File Source=\"" + xmlEscape(e.source) + "\" Target=\"" + xmlEscape(e.target) + "\"";
        if (e.registerFlag) xml += " Reg=\"" + xmlEscape(*e.registerFlag) + "\"";
        xml += "/>\r\n";
    }
    return xml + "</Update>\r\n";
}

std::string informationFile(const std::string& version, const std::vector<ChangeLine>& changes) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Update>\r\n  <Info Ver=\"" +
                      xmlEscape(version) + "\">\r\n";
    for (const ChangeLine& c : changes) {
        xml += "    <Line Text=\"" + xmlEscape(c.text) + "\" Mark=\"" + std::to_string(c.mark) + "\"/>\r\n";
    }
    return xml + "  </Info>\r\n</Update>\r\n";
}

}  // namespace publish
