// kxview_test_httpd: a small HTTP file server for the update tests and benchmarks. It serves a folder on
// 127.0.0.1 and misbehaves on request, so that every failure of a transfer can be produced on purpose.
//
//   kxview_test_httpd --root DIR [--port N] [--cert PEM --key PEM]
//
// Prints "PORT <n>" once it listens, then "GET <decoded path>" for every request. A first path segment
// starting with '~' chooses a behaviour and is not part of the file's path:
//   ~cut=N     announce the whole file, send N bytes of it, close the connection
//   ~stall=N   announce the whole file, send N bytes of it, then send nothing more
//   ~slow=N    send N bytes every 10 ms
//   ~redirect  answer 302 with the same path without this segment
//   ~loop      answer 302 with the same path, forever
// With --cert and --key it speaks TLS only.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

/// What a request asked for once its behaviour segment is taken off.
struct Request {
    QString path;      // decoded, starting with '/'
    QString mode;      // "", "cut", "stall", "slow", "redirect", "loop"
    qint64 value = 0;  // the mode's number
    QByteArray rawPath;
};

Request parseRequest(const QByteArray& target) {
    Request r;
    r.rawPath = target;
    QByteArray path = target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?'));
    if (path.startsWith("/~")) {
        const qsizetype end = path.indexOf('/', 1);
        const QByteArray segment = path.mid(2, (end < 0 ? path.size() : end) - 2);
        const QString text = QString::fromLatin1(segment);
        r.mode = text.section(QLatin1Char('='), 0, 0);
        r.value = text.section(QLatin1Char('='), 1, 1).toLongLong();
        r.rawPath = path = end < 0 ? QByteArray("/") : path.mid(end);
    }
    r.path = QUrl::fromPercentEncoding(path);
    return r;
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
        const Request request = parseRequest(requestLine[1]);
        announce("GET " + request.path.toUtf8());
        answer(request);
    }

    void answer(const Request& request) {
        if (request.mode == QLatin1String("redirect") || request.mode == QLatin1String("loop")) {
            const QByteArray location =
                request.mode == QLatin1String("loop") ? "/~loop" + request.rawPath : request.rawPath;
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
        m_mode = request.mode;
        m_limit = (m_mode == QLatin1String("cut") || m_mode == QLatin1String("stall")) ? request.value
                                                                                       : m_file->size();
        sendHead("200 OK", m_file->size());
        if (m_mode == QLatin1String("slow")) {
            m_perTick = qMax<qint64>(1, request.value);
            m_slowTimer.start(10);
        } else {
            pump();
        }
    }

    void sendHead(const char* status, qint64 length, const QByteArray& extra = {}) {
        m_socket->write(
            QByteArray("HTTP/1.1 ") + status + "\r\nContent-Length: " + QByteArray::number(length) +
            "\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n" + extra + "\r\n");
        if (!m_file) m_socket->disconnectFromHost();
    }

    /// Keeps about a megabyte queued until the limit is sent.
    void pump() {
        if (!m_file || m_mode == QLatin1String("slow")) return;
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
        if (m_mode == QLatin1String("stall")) return;  // keep the connection open and silent
        m_finished = true;
        m_slowTimer.stop();
        m_socket->disconnectFromHost();
    }

    QTcpSocket* m_socket;
    QString m_root;
    QByteArray m_head;
    bool m_answered = false;
    bool m_finished = false;
    std::unique_ptr<QFile> m_file;
    QString m_mode;
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
