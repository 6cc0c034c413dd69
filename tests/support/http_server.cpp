// kxview_test_httpd: a small HTTP file server for the update tests and benchmarks. It serves a folder on
// 127.0.0.1 and misbehaves on request, so that every failure of a transfer can be produced on purpose.
//
//   kxview_test_httpd --root DIR [--port N] [--cert PEM --key PEM]
//
// Prints "PORT <n>" once it listens, then "GET <decoded path>" for every request and "RANGE <decoded
// path> <Range header>" for every request asking for a range. Leading path segments starting with '~'
// choose behaviours and are not part of the file's path:
//   ~cut=N     announce the whole response, send N bytes of it, close the connection
//   ~cut1=N    the same for the first request of each path only; later ones are answered whole
//   ~stall=N   announce the whole response, send N bytes of it, then send nothing more
//   ~slow=N    send N bytes every 10 ms
//   ~trickle=N announce the whole file, then send one byte every N ms
//   ~endless   announce no length and send zeros until the client goes
//   ~ranges    support ranges: "Accept-Ranges: bytes", an ETag, and 206 answers to "Range: bytes=N-"
//              whose If-Range (when given) names the current ETag
//   ~unstable  with ~ranges: the ETag changes with every request, as if the file changed meanwhile
//   ~redirect  answer 302 with the same path without the behaviour segments before it
//   ~loop      answer 302 with the same path, forever
// With --cert and --key it speaks TLS only.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <memory>

namespace {

constexpr qint64 kChunk = 256 * 1024;
constexpr qint64 kMaxQueued = 1024 * 1024;

void announce(const QByteArray& line) {
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

/// What a request asked for once its behaviour segments are taken off.
struct Request {
    QString path;                 // decoded, starting with '/'
    QMap<QString, qint64> modes;  // behaviour -> its number (0 when it has none)
    QByteArray rawPath;           // the path after the behaviour segments
    QByteArray range;             // the Range header, if any
    QByteArray ifRange;           // the If-Range header, if any

    bool has(const char* mode) const { return modes.contains(QLatin1String(mode)); }
    qint64 value(const char* mode) const { return modes.value(QLatin1String(mode)); }
};

QByteArray header(const QByteArray& head, const QByteArray& name) {
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name) return line.mid(colon + 1).trimmed();
    }
    return {};
}

Request parseRequest(const QByteArray& target, const QByteArray& head) {
    Request r;
    QByteArray path = target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?'));
    while (path.startsWith("/~")) {
        const qsizetype end = path.indexOf('/', 1);
        const QString text = QString::fromLatin1(path.mid(2, (end < 0 ? path.size() : end) - 2));
        r.modes.insert(text.section(QLatin1Char('='), 0, 0),
                       text.section(QLatin1Char('='), 1, 1).toLongLong());
        path = end < 0 ? QByteArray("/") : path.mid(end);
    }
    r.rawPath = path;
    r.path = QUrl::fromPercentEncoding(path);
    r.range = header(head, "range");
    r.ifRange = header(head, "if-range");
    return r;
}

/// The paths requested so far: ~cut1 cuts only the first request of each.
QSet<QString>& requestedPaths() {
    static QSet<QString> paths;
    return paths;
}

/// Requests answered so far: ~unstable makes them part of the ETag.
int& requestCount() {
    static int count = 0;
    return count;
}

/// One client connection: reads one request and answers it, then closes.
class Connection : public QObject {
public:
    Connection(QTcpSocket* socket, QString root)
        : QObject(socket), m_socket(socket), m_root(std::move(root)) {
        connect(socket, &QTcpSocket::readyRead, this, &Connection::onReadyRead);
        connect(socket, &QTcpSocket::bytesWritten, this, &Connection::pump);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(&m_slowTimer, &QTimer::timeout, this, &Connection::slowTick);
        if (socket->bytesAvailable() > 0) onReadyRead();
    }

private:
    void onReadyRead() {
        if (m_answered) return;
        m_head += m_socket->readAll();
        if (!m_head.contains("\r\n\r\n")) return;
        m_answered = true;
        const QList<QByteArray> requestLine = m_head.left(m_head.indexOf("\r\n")).split(' ');
        if (requestLine.size() < 2) return m_socket->disconnectFromHost();
        const Request request = parseRequest(requestLine[1], m_head);
        announce("GET " + request.path.toUtf8());
        if (!request.range.isEmpty()) announce("RANGE " + request.path.toUtf8() + ' ' + request.range);
        answer(request);
    }

    void answer(const Request& request) {
        ++requestCount();
        if (request.has("redirect") || request.has("loop")) {
            const QByteArray location = request.has("loop") ? "/~loop" + request.rawPath : request.rawPath;
            return sendHead("302 Found", 0, "Location: " + location + "\r\n");
        }
        m_file = std::make_unique<QFile>(QDir(m_root).filePath(request.path.mid(1)));
        if (request.path.contains(QLatin1String("/../")) || !QFileInfo(m_file->fileName()).isFile() ||
            !m_file->open(QIODevice::ReadOnly)) {
            const QByteArray body = "not found\n";
            sendHead("404 Not Found", body.size());
            m_socket->write(body);
            return m_socket->disconnectFromHost();
        }
        const bool first = !requestedPaths().contains(request.path);
        requestedPaths().insert(request.path);
        if (request.has("endless")) {
            m_endless = true;
            sendHead("200 OK", -1);
            return pump();
        }
        const qint64 size = m_file->size();
        qint64 start = 0;
        QByteArray extra;
        if (request.has("ranges")) {
            QByteArray etag = '"' + QByteArray::number(size) + '-' +
                              QByteArray::number(QFileInfo(*m_file).lastModified().toMSecsSinceEpoch());
            if (request.has("unstable")) etag += '-' + QByteArray::number(requestCount());
            etag += '"';
            extra = "Accept-Ranges: bytes\r\nETag: " + etag + "\r\n";
            if (request.range.startsWith("bytes=") && request.range.endsWith('-') &&
                (request.ifRange.isEmpty() || request.ifRange == etag)) {
                start = qBound<qint64>(0, request.range.mid(6).chopped(1).toLongLong(), size);
                extra += "Content-Range: bytes " + QByteArray::number(start) + '-' +
                         QByteArray::number(size - 1) + '/' + QByteArray::number(size) + "\r\n";
            }
        }
        m_file->seek(start);
        const qint64 length = size - start;
        m_limit = length;
        if (request.has("cut") || request.has("stall"))
            m_limit = qMin(length, request.value(request.has("cut") ? "cut" : "stall"));
        if (request.has("cut1") && first) m_limit = qMin(length, request.value("cut1"));
        m_stall = request.has("stall");
        sendHead(start > 0 ? "206 Partial Content" : "200 OK", length, extra);
        if (request.has("slow") || request.has("trickle")) {
            m_perTick = request.has("slow") ? qMax<qint64>(1, request.value("slow")) : 1;
            m_slowTimer.start(request.has("slow") ? 10 : int(qMax<qint64>(1, request.value("trickle"))));
        } else {
            pump();
        }
    }

    void sendHead(const char* status, qint64 length, const QByteArray& extra = {}) {
        const QByteArray lengthLine =
            length < 0 ? QByteArray() : "Content-Length: " + QByteArray::number(length) + "\r\n";
        m_socket->write(QByteArray("HTTP/1.1 ") + status + "\r\n" + lengthLine +
                        "Content-Type: application/octet-stream\r\nConnection: close\r\n" + extra + "\r\n");
        if (!m_file) m_socket->disconnectFromHost();
    }

    /// Keeps about a megabyte queued until the limit is sent (or forever, when endless).
    void pump() {
        if (!m_file || m_slowTimer.isActive()) return;
        if (m_endless) {
            static const QByteArray zeros(kChunk, '\0');
            while (m_socket->bytesToWrite() < kMaxQueued) m_socket->write(zeros);
            return;
        }
        while (m_sent < m_limit && m_socket->bytesToWrite() < kMaxQueued) {
            if (!sendChunk(qMin(kChunk, m_limit - m_sent))) return;
        }
        finishIfDone();
    }

    void slowTick() {
        if (m_sent < m_limit) sendChunk(qMin(m_perTick, m_limit - m_sent));
        finishIfDone();
    }

    bool sendChunk(qint64 size) {
        const QByteArray data = m_file->read(size);
        if (data.isEmpty()) return false;
        m_socket->write(data);
        m_sent += data.size();
        return true;
    }

    void finishIfDone() {
        if (m_sent < m_limit || m_finished) return;
        if (m_stall) return;  // keep the connection open and silent
        m_finished = true;
        m_slowTimer.stop();
        m_socket->disconnectFromHost();
    }

    QTcpSocket* m_socket;
    QString m_root;
    QByteArray m_head;
    bool m_answered = false;
    bool m_finished = false;
    bool m_endless = false;
    bool m_stall = false;
    std::unique_ptr<QFile> m_file;
    qint64 m_limit = 0, m_sent = 0, m_perTick = 0;
    QTimer m_slowTimer;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString root, certFile, keyFile;
    quint16 port = 0;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--root"))
            root = args[i + 1];
        else if (args[i] == QLatin1String("--port"))
            port = static_cast<quint16>(args[i + 1].toUInt());
        else if (args[i] == QLatin1String("--cert"))
            certFile = args[i + 1];
        else if (args[i] == QLatin1String("--key"))
            keyFile = args[i + 1];
    }
    if (root.isEmpty()) {
        std::fprintf(stderr, "usage: kxview_test_httpd --root DIR [--port N] [--cert PEM --key PEM]\n");
        return 2;
    }
    std::unique_ptr<QTcpServer> server;
    if (!certFile.isEmpty()) {
        QFile cert(certFile), key(keyFile);
        if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) return 3;
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(QSslCertificate(cert.readAll()));
        tls.setPrivateKey(QSslKey(key.readAll(), QSsl::Rsa));
        auto ssl = std::make_unique<QSslServer>();
        ssl->setSslConfiguration(tls);
        server = std::move(ssl);
    } else {
        server = std::make_unique<QTcpServer>();
    }
    QObject::connect(server.get(), &QTcpServer::pendingConnectionAvailable, [&server, root] {
        while (QTcpSocket* socket = server->nextPendingConnection()) new Connection(socket, root);
    });
    if (!server->listen(QHostAddress::LocalHost, port)) {
        std::fprintf(stderr, "cannot listen: %s\n", server->errorString().toLocal8Bit().constData());
        return 1;
    }
    announce("PORT " + QByteArray::number(server->serverPort()));
    return app.exec();
}
