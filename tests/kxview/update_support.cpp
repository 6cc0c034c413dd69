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

#include <zlib.h>

#include <csignal>

#include "core/data/modpub_db.h"
#include "core/db/dbengine.h"
#include "kxview/updates.h"

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
        if (line.startsWith(QLatin1String("RANGE "))) m_ranges << line.mid(6);
    }
    return m_requests;
}

QStringList TestServer::rangeRequests() {
    requests();
    return m_ranges;
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

bool RecordingPrompts::fetch(const kx::FetchRequest& request) {
    titles << request.title;
    return kx::fetchWithoutWindow(request, [this](const QString& text, bool) { statusLines << text; });
}

bool RecordingPrompts::confirmQuotaLibraryOffer(const kx::QuotaLibraryOffer& offer) {
    quotaOffer = offer;
    return goOn;
}

QStringList RecordingPrompts::choosePriceFiles(const kx::PriceSetOffer& offer) {
    priceOffer = offer;
    return toChoose;
}

kx::ReplaceAnswer RecordingPrompts::replaceExistingFile(const QString& path) {
    replaceQuestions << QString(path).replace('\\', '/');
    return replaceAnswers.isEmpty() ? kx::ReplaceAnswer::Keep : replaceAnswers.takeFirst();
}

namespace {

quint32 crcOf(const QByteArray& data) {
    return static_cast<quint32>(
        crc32(0, reinterpret_cast<const Bytef*>(data.constData()), static_cast<uInt>(data.size())));
}

/// Raw deflate of `input`, ending the stream as `flush` says (Z_FINISH: a final block).
QByteArray deflateRaw(z_stream& z, const QByteArray& input, int flush) {
    QByteArray out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.constData()));
    z.avail_in = static_cast<uInt>(input.size());
    char buffer[1 << 16];
    do {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        deflate(&z, flush);
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - z.avail_out));
    } while (z.avail_out == 0);
    return out;
}

void putLittle(QByteArray& out, quint64 value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.append(static_cast<char>((value >> (8 * i)) & 0xff));
}

}  // namespace

RawMember RawMember::stored(const QByteArray& name, const QByteArray& content) {
    return {name, 0, content, crcOf(content), static_cast<quint64>(content.size())};
}

RawMember RawMember::deflated(const QByteArray& name, const QByteArray& content) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    const QByteArray data = deflateRaw(z, content, Z_FINISH);
    deflateEnd(&z);
    return {name, 8, data, crcOf(content), static_cast<quint64>(content.size())};
}

RawMember RawMember::zeros(const QByteArray& name, quint64 size) {
    // Deflating gigabytes takes long; a block of zeros flushed with Z_FULL_FLUSH compresses to the same
    // bytes every time, so the stream is that block repeated, then the final empty block.
    constexpr quint64 kBlock = 16 << 20;
    const QByteArray zeroBlock(kBlock, '\0');
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    const QByteArray first = deflateRaw(z, zeroBlock, Z_FULL_FLUSH);
    const QByteArray steady = deflateRaw(z, zeroBlock, Z_FULL_FLUSH);
    const QByteArray last = deflateRaw(z, {}, Z_FINISH);
    deflateEnd(&z);
    QByteArray data = first;
    const uLong blockCrc = crc32(0, reinterpret_cast<const Bytef*>(zeroBlock.constData()), kBlock);
    uLong crc = blockCrc;
    for (quint64 done = kBlock; done < size; done += kBlock) {
        data += steady;
        crc = crc32_combine(crc, blockCrc, kBlock);
    }
    data += last;
    return {name, 8, data, static_cast<quint32>(crc), (size + kBlock - 1) / kBlock * kBlock};
}

void writeRawZip(const QString& path, const QList<RawMember>& members) {
    constexpr quint16 kUtf8Names = 0x0800;
    constexpr quint16 kDate = (44 << 9) | (1 << 5) | 1;  // 2024-01-01
    QByteArray zip, directory;
    for (const RawMember& m : members) {
        const auto offset = static_cast<quint64>(zip.size());
        auto common = [&](QByteArray& out) {
            putLittle(out, 20, 2);  // version needed
            putLittle(out, kUtf8Names, 2);
            putLittle(out, m.method, 2);
            putLittle(out, 0, 2);  // time
            putLittle(out, kDate, 2);
            putLittle(out, m.crc, 4);
            putLittle(out, static_cast<quint64>(m.data.size()), 4);
            putLittle(out, m.size, 4);
            putLittle(out, static_cast<quint64>(m.name.size()), 2);
            putLittle(out, 0, 2);  // extra field
        };
        putLittle(zip, 0x04034b50, 4);
        common(zip);
        zip += m.name + m.data;
        putLittle(directory, 0x02014b50, 4);
        putLittle(directory, 20, 2);  // made by
        common(directory);
        putLittle(directory, 0, 2);  // comment
        putLittle(directory, 0, 2);  // disk
        putLittle(directory, 0, 2);  // internal attributes
        putLittle(directory, 0, 4);  // external attributes
        putLittle(directory, offset, 4);
        directory += m.name;
    }
    const auto directoryOffset = static_cast<quint64>(zip.size());
    zip += directory;
    putLittle(zip, 0x06054b50, 4);
    putLittle(zip, 0, 4);  // disks
    putLittle(zip, static_cast<quint64>(members.size()), 2);
    putLittle(zip, static_cast<quint64>(members.size()), 2);
    putLittle(zip, static_cast<quint64>(directory.size()), 4);
    putLittle(zip, directoryOffset, 4);
    putLittle(zip, 0, 2);  // comment
    writeBytes(path, zip);
}

void writeChecksum(const QString& package) {
    QFile file(package);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QVERIFY(file.open(QIODevice::ReadOnly) && hash.addData(&file));
    writeBytes(package + ".sha256",
               hash.result().toHex() + "  " + QFileInfo(package).fileName().toUtf8() + "\n");
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

void resetUpdateSettings(const QString& systemFolder) {
    modUpdate::SetSystemDirectory(systemFolder);
    modUpdate::SetRegisterCommand({});
    modUpdate::SetUpdateLimits({});
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
