// The download control: fetches one address into a folder, under the remote file's name, and reports the
// transfer by signals on the thread that owns it.
//
// Addresses are http or https URLs (backslashes of a relative path become '/', and the text is
// percent-encoded as UTF-8), file URLs, or local and network folder paths. The file is written under a
// temporary name beside its final one and renamed only when the transfer is complete, so a failed or
// cancelled transfer never leaves a partial file under the final name.
//
// The address is untrusted: a transfer is bounded in size, in time and in rate (kx::UpdateLimits). A
// connection that breaks off or grows too slow is taken up again, with a range request where the server
// supports ranges (its response carries "Accept-Ranges: bytes" and a validator) and from the start where
// it does not; what a server supporting ranges sent before a transfer finally failed is kept beside the
// final name for the next transfer of the same address to continue.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <memory>
#include "kxview/kxview_core_export.h"
#include "kxview/updates.h"

class QFile;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace kx {

class PartialFile;

/// Fetches one address into a folder.
class KXVIEW_CORE_EXPORT DownloadControl : public QObject {
    Q_OBJECT

public:
    /// The codes that failed() reports.
    enum ErrorCode : qint32 {
        NotDownloadable = 1,  ///< the server or the file system refused: no such file, an HTTP error, no name
        RedirectFailed = 2,   ///< a redirect that could not be followed (too many, or to a less safe scheme)
        NoBytes = 3,          ///< the transfer delivered no data
        Cancelled = 4,        ///< cancel() stopped the transfer
        TooLarge = 5,         ///< the file is larger than UpdateLimits::maxDownloadBytes
        TooSlow = 6,          ///< too few bytes arrived in a rate window, also after every resumption
        TimedOut = 7,         ///< the transfer ran past UpdateLimits::downloadDeadlineSeconds
        Unknown = 99,         ///< the connection failed or broke off, also after every resumption
    };

    explicit DownloadControl(QObject* parent = nullptr);
    ~DownloadControl() override;

    /// When true (the dialog always sets it before a start) a file of the same name in the target folder
    /// is replaced once the transfer completes; when false such a file makes the transfer fail.
    void setReplaceExisting(bool replace) { m_replaceExisting = replace; }
    /// The address to fetch.
    void setUrl(const QString& url) { m_url = url; }
    /// The folder that receives the file (Windows spelling allowed; it must exist).
    void setTargetFolder(const QString& folder) { m_targetFolder = folder; }
    /// The bounds of the next transfers: size, deadline, rate and resumptions (the other fields of
    /// `limits` do not concern a download). Until set: UpdateLimits' defaults.
    void setLimits(const UpdateLimits& limits) { m_limits = limits; }

    /// Starts the transfer; a transfer still running is cancelled first. Every outcome is reported by
    /// signals, the first of them only after control has returned to the event loop.
    void start();
    /// Stops a running transfer and discards what it received.
    void cancel();
    /// True from start() until the transfer has completed, failed or been cancelled.
    bool isRunning() const { return m_running; }
    /// The full path of the file a completed transfer wrote.
    QString savedFile() const { return m_savedFile; }

signals:
    /// The transfer was started.
    void transferBegan();
    /// A connection to `host` is being made.
    void connecting(const QString& host);
    /// `fraction` of `totalBytes` has arrived (both 0 while the size is unknown).
    void progress(float fraction, qint32 totalBytes);
    /// cancel() stopped the transfer.
    void cancelled();
    /// The transfer failed or was cancelled; `code` is an ErrorCode.
    void failed(qint32 code, const QString& description);
    /// The transfer ended: `bytes` received and saved, or 0 after a failure.
    void completed(qint32 bytes);

private:
    void begin();
    void startHttp(const QString& address);
    void sendRequest();
    void startLocal(const QString& path);
    bool openTarget(const QString& fileName, const QString& resumableUrl);
    bool acceptResponseHead();
    bool acceptPartialContent();
    void noteWholeFile();
    void onReadyRead();
    void onReplyFinished();
    void copyLocalChunk();
    bool writeReceived(const char* data, qint64 size);
    void reportProgress(bool force);
    void checkRate();
    void interrupted(ErrorCode code, const QString& description);
    bool resumable() const;
    void finishSuccessfully();
    void fail(ErrorCode code, const QString& description);
    void releaseReply();
    void releaseTransfer();

    UpdateLimits m_limits;
    bool m_replaceExisting = true;
    QString m_url;
    QString m_requestUrl;  // the address as requested, which notes kept bytes
    QString m_targetFolder;
    QString m_savedFile;
    bool m_running = false;
    qint64 m_expected = -1;  // bytes announced by the source; -1 when unknown
    QString m_validator;     // the server's ETag or Last-Modified of the file
    bool m_acceptsRanges = false;
    bool m_headSeen = false;    // the current response's status and headers have been taken
    int m_resumptions = 0;      // requests made after an interruption
    qint64 m_attemptStart = 0;  // bytes the file held when the current request was made
    qint64 m_windowBytes = 0;   // bytes received in the current rate window
    QElapsedTimer m_sinceProgress;
    QTimer* m_progressTimer;  // reports what arrived after a report was held back
    QTimer* m_rateTimer;
    QTimer* m_deadlineTimer;
    QString m_lastHost;
    QNetworkAccessManager* m_network;
    QNetworkReply* m_reply = nullptr;
    std::unique_ptr<QFile> m_source;
    QTimer* m_localTimer;
    std::unique_ptr<PartialFile> m_out;
    QByteArray m_buffer;
};

}  // namespace kx
