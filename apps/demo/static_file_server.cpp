#include "static_file_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <memory>

namespace demo {
namespace {

constexpr qsizetype kMaxHeadBytes = 16 * 1024;
constexpr qint64 kChunkBytes = 64 * 1024;
// Enough to keep loopback busy without reading a large package into memory at once.
constexpr qint64 kMaxQueuedBytes = 256 * 1024;

using ServedHandler = std::function<void(const QString& method, const QString& path, int status)>;

/// What a request line asks for; `path` is empty when the line is not a request.
struct Request {
    QString method;
    QString path;
};

Request parseRequestLine(const QByteArray& head) {
    const QList<QByteArray> parts = head.left(head.indexOf("\r\n")).split(' ');
    if (parts.size() != 3 || !parts[2].startsWith("HTTP/1.") || !parts[1].startsWith('/')) return {};
    QByteArray target = parts[1];
    const qsizetype query = target.indexOf('?');
    if (query >= 0) target.truncate(query);
    return {QString::fromLatin1(parts[0]), QString::fromUtf8(QByteArray::fromPercentEncoding(target))};
}

/// The file below the canonical folder `root` that the decoded request path `path` names; empty when it
/// names none there. Dot segments are refused before the file system sees them, and the canonical path
/// catches symbolic links that lead out.
QString fileBelow(const QString& root, const QString& path) {
    const QStringList segments = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& segment : segments) {
        if (segment == QLatin1String("..") || segment == QLatin1String(".") || segment.contains('\\'))
            return {};
    }
    const QFileInfo file(QDir(root).filePath(segments.join(QLatin1Char('/'))));
    const QString real = file.canonicalFilePath();  // empty when nothing is there
    if (!file.isFile() || !real.startsWith(root + QLatin1Char('/'))) return {};
    return real;
}

QByteArray reasonOf(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
    }
    return "Error";
}

/// One connection: reads the request head, answers it and closes.
class Exchange : public QObject {
public:
    Exchange(QTcpSocket* socket, QString root, ServedHandler served)
        : QObject(socket), m_socket(socket), m_root(std::move(root)), m_served(std::move(served)) {
        connect(socket, &QTcpSocket::readyRead, this, &Exchange::readHead);
        connect(socket, &QTcpSocket::bytesWritten, this, &Exchange::pump);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        readHead();
    }

private:
    void readHead() {
        if (m_answered) return;
        m_head += m_socket->readAll();
        if (m_head.size() > kMaxHeadBytes) return finish({}, 400);
        if (!m_head.contains("\r\n\r\n")) return;
        m_answered = true;
        answer(parseRequestLine(m_head));
    }

    void answer(const Request& request) {
        if (request.path.isEmpty()) return finish(request, 400);
        const bool head = request.method == QLatin1String("HEAD");
        if (!head && request.method != QLatin1String("GET"))
            return finish(request, 405, "Allow: GET, HEAD\r\n");
        const QString file = fileBelow(m_root, request.path);
        m_file = std::make_unique<QFile>(file);
        if (file.isEmpty() || !m_file->open(QIODevice::ReadOnly)) return finish(request, 404);
        sendHead(200, m_file->size());
        m_served(request.method, request.path, 200);
        if (head) return m_socket->disconnectFromHost();
        m_sending = true;
        pump();
    }

    /// Answers with `status` and a one-line text body, and closes.
    void finish(const Request& request, int status, const QByteArray& extraHeaders = {}) {
        m_answered = true;
        const QByteArray body = reasonOf(status) + '\n';
        sendHead(status, body.size(), "Content-Type: text/plain\r\n" + extraHeaders);
        if (request.method != QLatin1String("HEAD")) m_socket->write(body);
        m_served(request.method, request.path, status);
        m_socket->disconnectFromHost();
    }

    void sendHead(int status, qint64 length, const QByteArray& extraHeaders = {}) {
        m_socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonOf(status) +
                        "\r\nContent-Length: " + QByteArray::number(length) + "\r\nConnection: close\r\n" +
                        extraHeaders + "\r\n");
    }

    /// Sends the next chunks of the file while little is queued; closes after the last one.
    void pump() {
        if (!m_sending) return;
        while (m_socket->bytesToWrite() < kMaxQueuedBytes && !m_file->atEnd()) {
            const QByteArray chunk = m_file->read(kChunkBytes);
            if (chunk.isEmpty()) break;  // a read error: the client sees a short body
            m_socket->write(chunk);
        }
        if (m_file->atEnd() || m_file->error() != QFileDevice::NoError) {
            m_sending = false;
            m_socket->disconnectFromHost();
        }
    }

    QTcpSocket* m_socket;
    QString m_root;
    ServedHandler m_served;
    QByteArray m_head;
    bool m_answered = false;
    bool m_sending = false;
    std::unique_ptr<QFile> m_file;
};

}  // namespace

StaticFileServer::StaticFileServer(const QString& root, QObject* parent)
    : QObject(parent), m_root(root), m_server(new QTcpServer(this)) {
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &StaticFileServer::acceptPending);
}

bool StaticFileServer::listen() {
    const QString canonical = QFileInfo(m_root).canonicalFilePath();
    if (canonical.isEmpty() || !QFileInfo(canonical).isDir()) {
        m_error = QStringLiteral("no folder at ") + QDir::toNativeSeparators(m_root);
        return false;
    }
    m_root = canonical;
    if (m_server->listen(QHostAddress::LocalHost)) return true;
    m_error = m_server->errorString();
    return false;
}

QString StaticFileServer::baseUrl() const {
    if (!m_server->isListening()) return {};
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_server->serverPort());
}

void StaticFileServer::acceptPending() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        new Exchange(socket, m_root, [this](const QString& method, const QString& path, int status) {
            emit served(method, path, status);
        });
    }
}

}  // namespace demo
