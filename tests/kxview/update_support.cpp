#include "update_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/prctl.h>

#include <csignal>

#include "core/data/modpub_db.h"
#include "core/db/dbengine.h"

namespace kxtest {

TestServer::TestServer(const QString& root, const QString& certificate, const QString& key) {
    QStringList args{QStringLiteral("--root"), root};
    if (!certificate.isEmpty()) {
        args << QStringLiteral("--cert") << certificate << QStringLiteral("--key") << key;
        m_scheme = QStringLiteral("https");
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A test that crashes must not leave its server running.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.start(QStringLiteral(KXVIEW_TEST_HTTPD), args);
    if (!m_process.waitForStarted(5000)) return;
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 10000 && !m_process.canReadLine()) m_process.waitForReadyRead(100);
    const QByteArray first = m_process.readLine().trimmed();
    if (first.startsWith("PORT ")) m_port = static_cast<quint16>(first.mid(5).toUInt());
}

TestServer::~TestServer() {
    kill();
}

QString TestServer::base(const QString& behaviour) const {
    QString url = QStringLiteral("%1://127.0.0.1:%2/").arg(m_scheme).arg(m_port);
    if (!behaviour.isEmpty()) url += QLatin1Char('~') + behaviour + QLatin1Char('/');
    return url;
}

QStringList TestServer::requests() {
    m_process.waitForReadyRead(100);
    while (m_process.canReadLine()) {
        const QString line = QString::fromUtf8(m_process.readLine().trimmed());
        if (line.startsWith(QLatin1String("GET "))) m_requests << line.mid(4);
    }
    return m_requests;
}

void TestServer::kill() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

ServedMirror::ServedMirror() : m_folder(m_dir.filePath(QStringLiteral("served"))) {
    if (m_dir.isValid() && copyTree(sampleApp() + QStringLiteral("/UpdateService"), m_folder))
        m_server = std::make_unique<TestServer>(m_folder);
}

QMap<QString, QByteArray> snapshot(const QString& dir) {
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha1);
        if (file.open(QIODevice::ReadOnly)) hash.addData(&file);
        files.insert(QDir(dir).relativeFilePath(path),
                     hash.result().toHex() + ' ' + QByteArray::number(file.size()));
    }
    return files;
}

QStringList changedPaths(const QMap<QString, QByteArray>& before, const QMap<QString, QByteArray>& after) {
    QStringList changed;
    for (auto it = after.begin(); it != after.end(); ++it)
        if (before.value(it.key()) != it.value()) changed << it.key();
    for (auto it = before.begin(); it != before.end(); ++it)
        if (!after.contains(it.key())) changed << it.key();
    changed.sort();
    return changed;
}

bool makeCertificate(const QString& dir, QString& certificate, QString& key) {
    certificate = dir + QStringLiteral("/cert.pem");
    key = dir + QStringLiteral("/key.pem");
    const int code =
        QProcess::execute(QStringLiteral("openssl"),
                          {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                           QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                           key, QStringLiteral("-out"), certificate, QStringLiteral("-days"),
                           QStringLiteral("1"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                           QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1")});
    return code == 0 && QFileInfo::exists(certificate);
}

quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

QString keyInfo(const QString& library, const QString& code) {
    auto db = modPub_DB::OpenDB(library);
    return modPub_DB::GetKeyInfo(*db, code);
}

qint64 tableRows(const QString& library, const QString& table) {
    auto db = modPub_DB::OpenDB(library);
    qint64 n = 0;
    for (auto rs = db->OpenRecordset("SELECT * FROM " + table); !rs->isEOF(); rs->MoveNext()) ++n;
    return n;
}

qint64 mdbCount(const QString& file, const QString& table) {
    QProcess count;
    count.start("mdb-count", {file, table});
    count.waitForFinished(20000);
    bool ok = false;
    const qint64 n = count.readAllStandardOutput().trimmed().toLongLong(&ok);
    return ok && count.exitCode() == 0 ? n : -1;
}

QStringList catalogueRows(const QString& file) {
    QStringList rows;
    auto db = kx::openDatabase(file);
    for (auto rs = db->OpenRecordset("SELECT * FROM Index ORDER BY ID"); !rs->isEOF(); rs->MoveNext()) {
        QStringList fields;
        for (const char* f : {"ID", "ParentID", "Name", "OCode", "WithFileName"}) fields << rs->Text(f);
        rows << fields.join(',');
    }
    db->Close();
    return rows;
}

QStringList mdbtoolsCatalogueRows(const QString& file) {
    QProcess exporter;
    exporter.start("mdb-export", {"-Q", "-d", ",", file, "Index"});
    exporter.waitForFinished(20000);
    const QStringList lines =
        QString::fromUtf8(exporter.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QStringList rows;
    for (int i = 1; i < lines.size(); ++i) rows << lines[i].section(',', 0, 4);
    std::sort(rows.begin(), rows.end(), [](const QString& a, const QString& b) {
        return a.section(',', 0, 0).toInt() < b.section(',', 0, 0).toInt();
    });
    return rows;
}

QByteArray packedMember(const QString& package, const QString& memberName) {
    QTemporaryDir out;
    QProcess unzip;
    unzip.start("unzip", {"-qq", "-o", package, "-d", out.path()});
    unzip.waitForFinished(20000);
    return readBytes(out.filePath(memberName));
}

void writeBytes(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace kxtest
