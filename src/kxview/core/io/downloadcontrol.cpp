#include "core/io/downloadcontrol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <limits>

#include "core/io/filesystem.h"
#include "core/io/partialfile.h"
#include "core/services/logging.h"

namespace kx {
namespace {

constexpr int kMaxRedirects = 10;
// A server that sends nothing for this long is given up (the user can always cancel sooner); the rate
// window of UpdateLimits usually stops it before.
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

/// Whole megabytes, rounded up: how limits are told.
qint64 megabytes(qint64 bytes) {
    return (bytes + (1 << 20) - 1) >> 20;
}

/// The server's validator of the file a response carries: a strong ETag, else its Last-Modified date; ""
/// when it has neither (a weak ETag cannot tell whether the bytes are the same).
QString validatorOf(const QNetworkReply& reply) {
    const QByteArray etag = reply.rawHeader("ETag").trimmed();
    if (!etag.isEmpty() && !etag.startsWith("W/")) return QString::fromLatin1(etag);
    return QString::fromLatin1(reply.rawHeader("Last-Modified").trimmed());
}

/// The first byte and the whole size a "Content-Range: bytes FIRST-LAST/SIZE" header names, or {-1, -1}.
std::pair<qint64, qint64> contentRange(const QNetworkReply& reply) {
    static const QRegularExpression pattern(QStringLiteral("^bytes\\s+(\\d+)-(\\d+)/(\\d+)$"));
    const QRegularExpressionMatch m =
        pattern.match(QString::fromLatin1(reply.rawHeader("Content-Range").trimmed()));
    if (!m.hasMatch()) return {-1, -1};
    return {m.captured(1).toLongLong(), m.captured(3).toLongLong()};
}

}  // namespace

DownloadControl::DownloadControl(QObject* parent)
    : QObject(parent),
      m_progressTimer(new QTimer(this)),
      m_rateTimer(new QTimer(this)),
      m_deadlineTimer(new QTimer(this)),
      m_network(new QNetworkAccessManager(this)),
      m_localTimer(new QTimer(this)) {
    m_localTimer->setInterval(0);
    connect(m_localTimer, &QTimer::timeout, this, &DownloadControl::copyLocalChunk);
    m_progressTimer->setSingleShot(true);
    connect(m_progressTimer, &QTimer::timeout, this, [this] { reportProgress(true); });
    connect(m_rateTimer, &QTimer::timeout, this, &DownloadControl::checkRate);
    m_deadlineTimer->setSingleShot(true);
    connect(m_deadlineTimer, &QTimer::timeout, this, [this] {
        fail(TimedOut,
             QStringLiteral("下载超过时限（%1 分钟）").arg((m_limits.downloadDeadlineSeconds + 59) / 60));
    });
}

DownloadControl::~DownloadControl() {
    releaseTransfer();
    if (m_out) m_out->discard();
}

void DownloadControl::start() {
    if (m_running) cancel();
    m_running = true;
    m_savedFile.clear();
    m_expected = -1;
    m_validator.clear();
    m_acceptsRanges = false;
    m_resumptions = 0;
    m_requestUrl.clear();
    m_lastHost.clear();
    // Reported from the event loop: a caller that starts before it shows its dialog sees every signal.
    QTimer::singleShot(0, this, &DownloadControl::begin);
}

void DownloadControl::begin() {
    if (!m_running) return;  // cancelled before it began
    emit transferBegan();
    if (m_limits.downloadDeadlineSeconds > 0) m_deadlineTimer->start(m_limits.downloadDeadlineSeconds * 1000);
    const QString address = m_url.trimmed();
    if (isWebAddress(address)) {
        startHttp(address);
    } else if (address.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        startLocal(QUrl(address).toLocalFile());
    } else {
        startLocal(address);
    }
}

bool DownloadControl::openTarget(const QString& fileName, const QString& resumableUrl) {
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
    m_out = std::make_unique<PartialFile>(target);
    if (!QFileInfo(folder).isDir() || !m_out->open(resumableUrl)) {
        qCWarning(lcKxView) << "cannot write into" << folder << ":" << m_out->errorString();
        m_out.reset();
        fail(NotDownloadable, QStringLiteral("无法写入文件夹 ") + m_targetFolder);
        return false;
    }
    // Bytes an earlier transfer kept are continued under the validator they were sent with.
    m_validator = m_out->validator();
    m_acceptsRanges = !m_validator.isEmpty();
    m_expected = m_out->noted();
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
    m_requestUrl = url.toString(QUrl::FullyEncoded);
    if (!openTarget(url.fileName(QUrl::FullyDecoded), m_requestUrl)) return;
    sendRequest();
}

void DownloadControl::sendRequest() {
    QNetworkRequest request{QUrl(m_requestUrl, QUrl::StrictMode)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setTransferTimeout(kStallTimeoutMs);
    if (m_out->size() > 0 && resumable()) {
        // If-Range: the rest of the same file, or the whole file when it changed meanwhile.
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_out->size()) + '-');
        request.setRawHeader("If-Range", m_validator.toLatin1());
    }
    m_attemptStart = m_out->size();
    m_headSeen = false;
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::socketStartedConnecting, this, [this] {
        // A redirect or a resumption may connect again: only another host is news.
        const QString host = m_reply->url().host();
        if (host == m_lastHost) return;
        m_lastHost = host;
        emit connecting(host);
    });
    connect(m_reply, &QNetworkReply::readyRead, this, &DownloadControl::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &DownloadControl::onReplyFinished);
    m_sinceProgress.start();
    m_windowBytes = 0;
    if (m_limits.rateWindowSeconds > 0 && m_limits.minBytesPerWindow > 0)
        m_rateTimer->start(m_limits.rateWindowSeconds * 1000);
}

bool DownloadControl::acceptResponseHead() {
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 206) {
        if (!acceptPartialContent()) return false;
    } else {
        if (m_out->size() > 0 && !m_out->restart()) {
            fail(NotDownloadable, QStringLiteral("写入文件失败：") + m_out->errorString());
            return false;
        }
        noteWholeFile();
    }
    if (m_limits.maxDownloadBytes > 0 && m_expected > m_limits.maxDownloadBytes) {
        fail(TooLarge, QStringLiteral("文件大小 %1 MB 超过下载上限 %2 MB")
                           .arg(megabytes(m_expected))
                           .arg(megabytes(m_limits.maxDownloadBytes)));
        return false;
    }
    m_headSeen = true;
    return true;
}

bool DownloadControl::acceptPartialContent() {
    const auto [first, total] = contentRange(*m_reply);
    const QString validator = validatorOf(*m_reply);
    if (first == m_out->size() && (validator.isEmpty() || validator == m_validator)) {
        m_expected = total;
        return true;
    }
    // Not the rest of the bytes kept: take the whole file again.
    qCInfo(lcKxView) << "the server sent another part of" << m_requestUrl << "than asked; starting over";
    releaseReply();
    if (!m_out->restart()) {
        fail(NotDownloadable, QStringLiteral("写入文件失败：") + m_out->errorString());
        return false;
    }
    m_validator.clear();
    m_acceptsRanges = false;
    sendRequest();
    return false;
}

void DownloadControl::noteWholeFile() {
    m_validator = validatorOf(*m_reply);
    m_acceptsRanges = m_reply->rawHeader("Accept-Ranges").contains("bytes");
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    m_expected = length.isValid() ? length.toLongLong() : -1;
}

void DownloadControl::onReadyRead() {
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status >= 300) {
        m_reply->readAll();  // an error page or redirect body is never saved
        return;
    }
    if (!m_headSeen && !acceptResponseHead()) return;
    // One reused buffer: a fresh array for every arrival would cost an allocation and its page faults.
    if (m_buffer.isEmpty()) m_buffer.resize(kReadChunk);
    for (qint64 n; m_reply != nullptr && (n = m_reply->read(m_buffer.data(), m_buffer.size())) > 0;) {
        if (!writeReceived(m_buffer.constData(), n)) return;
    }
    reportProgress(false);
}

void DownloadControl::onReplyFinished() {
    QNetworkReply* reply = m_reply;
    if (reply == nullptr) return;
    if (reply->bytesAvailable() > 0) onReadyRead();
    if (!m_running || m_reply != reply) return;  // failed while writing, or asked again
    const QNetworkReply::NetworkError error = reply->error();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (error == QNetworkReply::TooManyRedirectsError || error == QNetworkReply::InsecureRedirectError ||
        (error == QNetworkReply::NoError && status >= 300 && status < 400)) {
        fail(RedirectFailed, QStringLiteral("无法跟随重定向：") + reply->errorString());
    } else if (status >= 400) {
        const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        fail(NotDownloadable, QStringLiteral("服务器返回 HTTP %1 %2").arg(status).arg(reason).trimmed());
    } else if (error != QNetworkReply::NoError) {
        interrupted(Unknown, describe(error, reply->errorString()));
    } else if (m_expected >= 0 && m_out->size() != m_expected) {
        interrupted(Unknown,
                    QStringLiteral("连接中断，只收到 %1 / %2 字节").arg(m_out->size()).arg(m_expected));
    } else {
        finishSuccessfully();
    }
}

void DownloadControl::checkRate() {
    if (m_windowBytes >= m_limits.minBytesPerWindow) {
        m_windowBytes = 0;
        return;
    }
    interrupted(
        TooSlow,
        QStringLiteral("传输过慢：%1 秒内只收到 %2 字节").arg(m_limits.rateWindowSeconds).arg(m_windowBytes));
}

bool DownloadControl::resumable() const {
    return m_acceptsRanges && !m_validator.isEmpty();
}

void DownloadControl::interrupted(ErrorCode code, const QString& description) {
    // A request that brought nothing (the server is gone, or refuses) is not tried again.
    if (m_reply == nullptr || m_resumptions >= m_limits.resumeAttempts || m_out->size() == m_attemptStart) {
        fail(code, description);
        return;
    }
    ++m_resumptions;
    qCInfo(lcKxView) << "download of" << m_requestUrl << "interrupted (" << description << "); "
                     << (resumable() ? "resuming from byte" : "starting over, the server has no ranges;")
                     << m_out->size();
    releaseReply();
    if (!resumable() && !m_out->restart()) {
        fail(NotDownloadable, QStringLiteral("写入文件失败：") + m_out->errorString());
        return;
    }
    sendRequest();
}

void DownloadControl::startLocal(const QString& path) {
    const QString host = networkHost(path);
    if (!host.isEmpty()) emit connecting(host);
    m_source = std::make_unique<QFile>(fs::resolve(path));
    if (!QFileInfo(m_source->fileName()).isFile() || !m_source->open(QIODevice::ReadOnly)) {
        fail(NotDownloadable, QStringLiteral("文件不存在或无法读取：") + path);
        return;
    }
    if (m_limits.maxDownloadBytes > 0 && m_source->size() > m_limits.maxDownloadBytes) {
        fail(TooLarge, QStringLiteral("文件大小 %1 MB 超过下载上限 %2 MB")
                           .arg(megabytes(m_source->size()))
                           .arg(megabytes(m_limits.maxDownloadBytes)));
        return;
    }
    if (!openTarget(QFileInfo(m_source->fileName()).fileName(), QString())) return;
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
    if (m_limits.maxDownloadBytes > 0 && m_out->size() + size > m_limits.maxDownloadBytes) {
        fail(TooLarge,
             QStringLiteral("收到的数据超过下载上限 %1 MB").arg(megabytes(m_limits.maxDownloadBytes)));
        return false;
    }
    if (!m_out->write(data, size)) {
        fail(NotDownloadable, QStringLiteral("写入文件失败：") + m_out->errorString());
        return false;
    }
    m_windowBytes += size;
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
    const qint64 received = m_out ? m_out->size() : 0;
    const float fraction = total > 0 ? static_cast<float>(static_cast<double>(received) / total) : 0.0f;
    emit progress(fraction, clampToLong(total));
}

void DownloadControl::finishSuccessfully() {
    const qint64 bytes = m_out->size();
    if (bytes < 1) {
        fail(NoBytes, QStringLiteral("没有收到数据"));
        return;
    }
    if (m_expected >= 0 && bytes != m_expected) {
        fail(Unknown, QStringLiteral("连接中断，只收到 %1 / %2 字节").arg(bytes).arg(m_expected));
        return;
    }
    reportProgress(true);
    releaseTransfer();
    if (!m_out->commit()) {
        fail(NotDownloadable, QStringLiteral("无法保存文件：") + m_out->errorString());
        return;
    }
    m_savedFile = m_out->finalPath();
    m_out.reset();
    m_running = false;
    emit completed(clampToLong(bytes));
}

void DownloadControl::fail(ErrorCode code, const QString& description) {
    qCInfo(lcKxView) << "download of" << m_url << "failed:" << code << description;
    releaseTransfer();
    if (m_out) {
        // What a server supporting ranges sent before the transfer broke off is kept for the next one.
        const bool brokeOff = code == Unknown || code == TooSlow || code == TimedOut;
        if (brokeOff && resumable() && m_out->size() > 0)
            m_out->keep(m_requestUrl, m_validator, m_expected);
        else
            m_out->discard();
        m_out.reset();
    }
    m_running = false;
    emit failed(code, description);
    emit completed(0);
}

void DownloadControl::cancel() {
    if (!m_running) return;
    releaseTransfer();
    if (m_out) m_out->discard();
    m_out.reset();
    m_running = false;
    emit cancelled();
    emit failed(Cancelled, QStringLiteral("下载已取消"));
}

void DownloadControl::releaseReply() {
    m_rateTimer->stop();
    if (m_reply == nullptr) return;
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void DownloadControl::releaseTransfer() {
    m_localTimer->stop();
    m_progressTimer->stop();
    m_deadlineTimer->stop();
    m_source.reset();
    releaseReply();
}

}  // namespace kx
