// Shared pieces of the update tests: the misbehaving HTTP server in its own process, scripted dialogs and
// message boxes, and snapshots of folders on disk.
#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

#include "core/services/messages.h"
#include "sample_fixture.h"
#include "widgets/services/dialogs.h"

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
    /// Kills the server process at once (no goodbye to connected clients).
    void kill();

private:
    QProcess m_process;
    QString m_scheme = QStringLiteral("http");
    quint16 m_port = 0;
    QStringList m_requests;
};

/// Installs scripted dialog and message services for the life of a test and restores the real ones.
struct ScriptedUi {
    ScriptedUi();
    ~ScriptedUi();
    kx::ScriptedDialogService* dialogs;
    kx::ScriptedMessageService* messages;
    /// The texts of the message boxes shown so far.
    QStringList messageTexts() const;
};

/// Every regular file below `dir`: relative path ('/'-separated) -> content hash and size.
QMap<QString, QByteArray> snapshot(const QString& dir);
/// The relative paths whose entries differ between two snapshots (added, removed or changed).
QStringList changedPaths(const QMap<QString, QByteArray>& before, const QMap<QString, QByteArray>& after);

/// Makes a self-signed certificate for 127.0.0.1 with the openssl tool; false when that fails.
bool makeCertificate(const QString& dir, QString& certificate, QString& key);

/// Writes `content` to `path`, creating its folders.
void writeBytes(const QString& path, const QByteArray& content);
/// The content of the file `path` ("" when it cannot be read).
QByteArray readBytes(const QString& path);

}  // namespace kxtest
