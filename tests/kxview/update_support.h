// Shared pieces of the update tests: the misbehaving HTTP server in its own process and snapshots of
// folders on disk. Scripted dialogs and message boxes: scripted_ui.h.
#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "kxview/updateprompts.h"
#include "sample_fixture.h"

namespace kxtest {

/// kxview_test_httpd serving a folder on 127.0.0.1, started in its own process.
class TestServer {
public:
    /// Starts serving `root`; with `certificate` and `key` (PEM files) over TLS.
    explicit TestServer(const QString& root, const QString& certificate = {}, const QString& key = {});
    ~TestServer();

    /// True once the server listens.
    bool isListening() const { return m_port != 0; }
    /// The base address, ending with '/'; `behaviour` ("cut=5000", "redirect", ...) selects a misbehaviour.
    QString base(const QString& behaviour = {}) const;
    /// The decoded paths requested so far, oldest first.
    QStringList requests();
    /// The requests that asked for a range so far, as "<decoded path> <Range header>", oldest first.
    QStringList rangeRequests();
    /// Kills the server process at once (no goodbye to connected clients).
    void kill();

private:
    QProcess m_process;
    QString m_scheme = QStringLiteral("http");
    quint16 m_port = 0;
    QStringList m_requests;
    QStringList m_ranges;
};

/// The sample directory's update-service mirror (UpdateService), copied into a temporary folder so that
/// tests may change its files, and served there by a TestServer.
class ServedMirror {
public:
    ServedMirror();
    /// True once the copy is made and served.
    bool ok() const { return m_server && m_server->isListening(); }
    /// The served folder.
    const QString& folder() const { return m_folder; }
    TestServer& server() { return *m_server; }

private:
    QTemporaryDir m_dir;
    QString m_folder;
    std::unique_ptr<TestServer> m_server;
};

/// Answers the update procedures as a test sets it and notes everything they showed, without a widget.
class RecordingPrompts : public kx::UpdatePrompts {
public:
    // Answers.
    bool goOn = false;
    QStringList toChoose;
    QList<kx::ReplaceAnswer> replaceAnswers;  // in order; Keep once they are used up

    // What was shown.
    QStringList titles;
    QStringList statusLines;
    std::optional<kx::QuotaLibraryOffer> quotaOffer;
    std::optional<kx::PriceSetOffer> priceOffer;
    QStringList replaceQuestions;  // '/'-separated
    QStringList messages;
    QList<kx::UpdateRefusal> refusals;
    QStringList installedFiles;

    bool fetch(const kx::FetchRequest& request) override;
    bool confirmQuotaLibraryOffer(const kx::QuotaLibraryOffer& offer) override;
    QStringList choosePriceFiles(const kx::PriceSetOffer& offer) override;
    kx::ReplaceAnswer replaceExistingFile(const QString& path) override;
    void inform(const QString& text) override { messages << text; }
    void refused(const kx::UpdateRefusal& refusal) override { refusals << refusal; }
    void installed(const QStringList& files) override { installedFiles << files; }
};

/// One member of a ZIP archive written byte by byte: its name (UTF-8), how it is stored (0 stored, 8
/// deflated), the bytes stored, and what its headers declare.
struct RawMember {
    QByteArray name;
    quint16 method = 0;
    QByteArray data;
    quint32 crc = 0;
    quint64 size = 0;  // the uncompressed size declared

    /// A member stored as it is.
    static RawMember stored(const QByteArray& name, const QByteArray& content);
    /// A deflated member of `content`.
    static RawMember deflated(const QByteArray& name, const QByteArray& content);
    /// A deflated member of `size` zero bytes (below 4 GiB), compressed about a thousand times.
    static RawMember zeros(const QByteArray& name, quint64 size);
};
/// Writes a ZIP archive of `members` exactly as given (headers and central directory agreeing).
void writeRawZip(const QString& path, const QList<RawMember>& members);
/// Writes `package`.sha256 as a publisher does: the package's SHA-256 and its name.
void writeChecksum(const QString& package);

/// Every regular file below `dir`: relative path ('/'-separated) -> content hash and size.
QMap<QString, QByteArray> snapshot(const QString& dir);
/// The relative paths whose entries differ between two snapshots (added, removed or changed).
QStringList changedPaths(const QMap<QString, QByteArray>& before, const QMap<QString, QByteArray>& after);

/// Makes a self-signed certificate for 127.0.0.1 with the openssl tool; false when that fails.
bool makeCertificate(const QString& dir, QString& certificate, QString& key);

/// The update settings a test starts from: the system folder `systemFolder`, no registration command and
/// the default limits.
void resetUpdateSettings(const QString& systemFolder);

/// A port on 127.0.0.1 on which nothing listens.
quint16 closedPort();

/// The KeyInfo value `code` of the library `library`, read through the component.
QString keyInfo(const QString& library, const QString& code);
/// The number of rows of `table` in `library`, counted through the component.
qint64 tableRows(const QString& library, const QString& table);
/// mdb-count of a table, as an independent reader sees it (-1 when it cannot read the file).
qint64 mdbCount(const QString& file, const QString& table);
/// A catalogue's rows as "ID,ParentID,Name,OCode,WithFileName", in ID order, read through the component.
QStringList catalogueRows(const QString& file);
/// The same rows as mdb-export, an independent reader, reads them, in ID order.
QStringList mdbtoolsCatalogueRows(const QString& file);
/// The content of `memberName` in the ZIP package `package`, as unzip extracts it.
QByteArray packedMember(const QString& package, const QString& memberName);

/// Writes `content` to `path`, creating its folders.
void writeBytes(const QString& path, const QByteArray& content);
/// The content of the file `path` ("" when it cannot be read).
QByteArray readBytes(const QString& path);

}  // namespace kxtest
