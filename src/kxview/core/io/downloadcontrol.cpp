#include "core/io/downloadcontrol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <limits>

#include "core/io/filesystem.h"
#include "core/services/logging.h"

namespace kx {
namespace {

constexpr int kMaxRedirects = 10;
// A server that sends nothing for this long is given up (the user can always cancel sooner).
constexpr int kStallTimeoutMs = 60'000;
// Progress is reported at most this often, so painting keeps up without slowing the transfer.
constexpr qint64 kProgressIntervalMs = 50;
// A local copy yields to the event loop after each chunk, so the dialog stays responsive.
constexpr qint64 kLocalChunk = 4 << 20;
constexpr qsizetype kReadChunk = 1 << 20;

bool isWebAddress(const QString& address) {
    return address.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           address.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

qint32 clampToLong(qint64 n) {
    return static_cast<qint32>(std::clamp<qint64>(n, 0, std::numeric_limits<qint32>::max()));
}

/// The server name of a network folder path ("\\server\share\..."), or "" for a local path.
QString networkHost(const QString& path) {
    const QString slashed = fs::withSlashes(path);
    if (!slashed.startsWith(QLatin1String("//"))) return {};
    return slashed.mid(2).section(QLatin1Char('/'), 0, 0);
}

/// What the user is told about a failed web transfer.
QString describe(QNetworkReply::NetworkError error, const QString& fallback) {
    switch (error) {
        case QNetworkReply::ConnectionRefusedError:
            return QStringLiteral("服务器拒绝连接");
        case QNetworkReply::RemoteHostClosedError:
            return QStringLiteral("服务器关闭了连接");
        case QNetworkReply::HostNotFoundError:
            return QStringLiteral("找不到服务器");
        case QNetworkReply::TimeoutError:
        case QNetworkReply::OperationCanceledError:
            return QStringLiteral("连接超时");
        case QNetworkReply::SslHandshakeFailedError:
            return QStringLiteral("安全连接失败");
        default:
            return fallback;
    }
}

}  // namespace

DownloadControl::DownloadControl(QObject* parent)
    : QObject(parent),
      m_progressTimer(new QTimer(this)),
      m_network(new QNetworkAccessManager(this)),
      m_localTimer(new QTimer(this)) {
    m_localTimer->setInterval(0);
    connect(m_localTimer, &QTimer::timeout, this, &DownloadControl::copyLocalChunk);
    m_progressTimer->setSingleShot(true);
    connect(m_progressTimer, &QTimer::timeout, this, [this] { reportProgress(true); });
}

DownloadControl::~DownloadControl() {
    releaseTransfer();
}

void DownloadControl::start() {
    if (m_running) cancel();
    m_running = true;
    m_savedFile.clear();
    m_expected = -1;
    m_received = 0;
    m_lastHost.clear();
    // Reported from the event loop: a caller that starts before it shows its dialog sees every signal.
    QTimer::singleShot(0, this, &DownloadControl::begin);
}

void DownloadControl::begin() {
    if (!m_running) return;  // cancelled before it began
    emit transferBegan();
    const QString address = m_url.trimmed();
    if (isWebAddress(address)) {
        startHttp(address);
    } else if (address.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        startLocal(QUrl(address).toLocalFile());
    } else {
        startLocal(address);
    }
}

bool DownloadControl::openTarget(const QString& fileName) {
    if (fileName.isEmpty()) {
        fail(NotDownloadable, QStringLiteral("地址中没有文件名"));
        return false;
    }
    const QString folder = fs::resolve(m_targetFolder);
    const QString target = QDir(folder).filePath(fileName);
    if (!m_replaceExisting && QFileInfo::exists(target)) {
        fail(NotDownloadable, QStringLiteral("文件已经存在：") + fileName);
        return false;
    }
    m_out = std::make_unique<QSaveFile>(target);
    if (!QFileInfo(folder).isDir() || !m_out->open(QIODevice::WriteOnly)) {
        qCWarning(lcKxView) << "cannot write into" << folder << ":" << m_out->errorString();
        fail(NotDownloadable, QStringLiteral("无法写入文件夹 ") + m_targetFolder);
        return false;
    }
    return true;
}

void DownloadControl::startHttp(const QString& address) {
    QString text = address;
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid()) {
        fail(NotDownloadable, QStringLiteral("地址无效：") + address);
        return;
    }
    if (!openTarget(url.fileName(QUrl::FullyDecoded))) return;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setTransferTimeout(kStallTimeoutMs);
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::socketStartedConnecting, this, [this] {
        // A redirect may connect again: only another host is news.
        const QString host = m_reply->url().host();
        if (host == m_lastHost) return;
        m_lastHost = host;
        emit connecting(host);
    });
    connect(m_reply, &QNetworkReply::readyRead, this, &DownloadControl::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &DownloadControl::onReplyFinished);
    m_sinceProgress.start();
}

void DownloadControl::onReadyRead() {
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status >= 300) {
        m_reply->readAll();  // an error page or redirect body is never saved
        return;
    }
    if (m_expected < 0 && m_reply->header(QNetworkRequest::ContentLengthHeader).isValid())
        m_expected = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    // One reused buffer: a fresh array for every arrival would cost an allocation and its page faults.
    if (m_buffer.isEmpty()) m_buffer.resize(kReadChunk);
    for (qint64 n; (n = m_reply->read(m_buffer.data(), m_buffer.size())) > 0;) {
        if (!writeReceived(m_buffer.constData(), n)) return;
    }
    reportProgress(false);
}

void DownloadControl::onReplyFinished() {
    QNetworkReply* reply = m_reply;
    if (reply == nullptr) return;
    if (reply->bytesAvailable() > 0) onReadyRead();
    if (!m_running) return;  // failed while writing
    const QNetworkReply::NetworkError error = reply->error();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (error == QNetworkReply::TooManyRedirectsError || error == QNetworkReply::InsecureRedirectError ||
        (error == QNetworkReply::NoError && status >= 300 && status < 400)) {
        fail(RedirectFailed, QStringLiteral("无法跟随重定向：") + reply->errorString());
    } else if (status >= 400) {
        const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        fail(NotDownloadable, QStringLiteral("服务器返回 HTTP %1 %2").arg(status).arg(reason).trimmed());
    } else if (error != QNetworkReply::NoError) {
        fail(Unknown, describe(error, reply->errorString()));
    } else {
        finishSuccessfully();
    }
}

void DownloadControl::startLocal(const QString& path) {
    const QString host = networkHost(path);
    if (!host.isEmpty()) emit connecting(host);
    m_source = std::make_unique<QFile>(fs::resolve(path));
    if (!QFileInfo(m_source->fileName()).isFile() || !m_source->open(QIODevice::ReadOnly)) {
        fail(NotDownloadable, QStringLiteral("文件不存在或无法读取：") + path);
        return;
    }
    if (!openTarget(QFileInfo(m_source->fileName()).fileName())) return;
    m_expected = m_source->size();
    m_sinceProgress.start();
    m_localTimer->start();
}

void DownloadControl::copyLocalChunk() {
    const QByteArray data = m_source->read(kLocalChunk);
    if (data.isEmpty()) {
        m_localTimer->stop();
        if (m_source->error() != QFileDevice::NoError)
            fail(Unknown, m_source->errorString());
        else
            finishSuccessfully();
        return;
    }
    if (writeReceived(data.constData(), data.size())) reportProgress(false);
}

bool DownloadControl::writeReceived(const char* data, qint64 size) {
    if (m_out->write(data, size) != size) {
        fail(NotDownloadable, QStringLiteral("写入文件失败：") + m_out->errorString());
        return false;
    }
    m_received += size;
    return true;
}

void DownloadControl::reportProgress(bool force) {
    if (!force && m_sinceProgress.elapsed() < kProgressIntervalMs) {
        if (!m_progressTimer->isActive()) m_progressTimer->start(static_cast<int>(kProgressIntervalMs));
        return;
    }
    m_progressTimer->stop();
    m_sinceProgress.restart();
    const qint64 total = qMax<qint64>(m_expected, 0);
    const float fraction = total > 0 ? static_cast<float>(static_cast<double>(m_received) / total) : 0.0f;
    emit progress(fraction, clampToLong(total));
}

void DownloadControl::finishSuccessfully() {
    if (m_received < 1) {
        fail(NoBytes, QStringLiteral("没有收到数据"));
        return;
    }
    if (m_expected >= 0 && m_received != m_expected) {
        fail(Unknown, QStringLiteral("连接中断，只收到 %1 / %2 字节").arg(m_received).arg(m_expected));
        return;
    }
    reportProgress(true);
    if (!m_out->commit()) {
        fail(NotDownloadable, QStringLiteral("无法保存文件：") + m_out->errorString());
        return;
    }
    m_savedFile = m_out->fileName();
    const qint64 bytes = m_received;
    releaseTransfer();
    m_running = false;
    emit completed(clampToLong(bytes));
}

void DownloadControl::fail(ErrorCode code, const QString& description) {
    qCInfo(lcKxView) << "download of" << m_url << "failed:" << code << description;
    releaseTransfer();
    m_running = false;
    emit failed(code, description);
    emit completed(0);
}

void DownloadControl::cancel() {
    if (!m_running) return;
    releaseTransfer();
    m_running = false;
    emit cancelled();
    emit failed(Cancelled, QStringLiteral("下载已取消"));
}

void DownloadControl::releaseTransfer() {
    m_localTimer->stop();
    m_progressTimer->stop();
    m_source.reset();
    if (m_reply != nullptr) {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    if (m_out) {
        m_out->cancelWriting();  // the temporary file is removed; nothing appears under the final name
        m_out.reset();
    }
}

}  // namespace kx
