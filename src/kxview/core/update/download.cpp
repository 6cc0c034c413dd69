#include "core/update/download.h"

#include <QEventLoop>
#include <cmath>

#include "core/data/modpub_chars.h"
#include "core/data/modpub_file.h"
#include "core/io/downloadcontrol.h"
#include "core/io/filesystem.h"
#include "kxview/updateprompts.h"
#include "kxview/updates.h"

namespace kx {
namespace {

/// The text the status line shows for an error code of the download control.
QString errorCodeText(qint32 code) {
    switch (code) {
        case DownloadControl::NotDownloadable:
            return QStringLiteral("不可下载文件");
        case DownloadControl::RedirectFailed:
            return QStringLiteral("重定向");
        case DownloadControl::NoBytes:
            return QStringLiteral("没有字节返回");
        case DownloadControl::Unknown:
            return QStringLiteral("不明错误");
        default:
            return {};
    }
}

/// A fraction as a whole percentage, "0%" style (half away from zero).
QString percentText(float fraction) {
    return QString::number(std::lround(static_cast<double>(fraction) * 100.0)) + QLatin1Char('%');
}

}  // namespace

DownloadStatus::DownloadStatus(DownloadControl& control, QObject* parent) : QObject(parent) {
    connect(&control, &DownloadControl::transferBegan, this,
            [this] { emit statusChanged(QStringLiteral("开始下载..."), true); });
    connect(&control, &DownloadControl::connecting, this,
            [this](const QString& host) { emit statusChanged(QStringLiteral("连接到 ") + host, true); });
    connect(&control, &DownloadControl::progress, this, [this](float fraction, qint32 totalBytes) {
        emit progressed(
            percentText(fraction) + QStringLiteral(" of ") + modPub_Chars::FormatByteSize(totalBytes),
            fraction);
    });
    connect(&control, &DownloadControl::cancelled, this,
            [this] { emit statusChanged(QStringLiteral("取消下载"), false); });
    connect(&control, &DownloadControl::failed, this, &DownloadStatus::onFailed);
    connect(&control, &DownloadControl::completed, this, &DownloadStatus::onCompleted);
}

void DownloadStatus::onFailed(qint32 code, const QString& description) {
    if (code == DownloadControl::Cancelled) return;  // "取消下载" stays on the line
    emit statusChanged(QStringLiteral("错误 - ") + errorCodeText(code) + QStringLiteral(": ") + description,
                       true);
}

void DownloadStatus::onCompleted(qint32 bytes) {
    if (bytes < 1) {
        emit statusChanged(QStringLiteral("下载失败"), false);
        return;
    }
    emit statusChanged(modPub_Chars::FormatByteSize(bytes) + QStringLiteral("完成"), false);
}

namespace {

/// Runs one transfer of `request` to its end in a local event loop, telling `onStatus` its status texts.
bool fetchInLoop(const FetchRequest& request, const UpdateLimits& limits,
                 const std::function<void(const QString& text, bool progress)>& onStatus) {
    DownloadControl control;
    DownloadStatus status(control);
    QObject::connect(&status, &DownloadStatus::statusChanged,
                     [&onStatus](const QString& text) { onStatus(text, false); });
    QObject::connect(&status, &DownloadStatus::progressed,
                     [&onStatus](const QString& text) { onStatus(text, true); });
    QEventLoop loop;
    bool arrived = false;
    QObject::connect(&control, &DownloadControl::completed, &loop, [&](qint32 bytes) {
        arrived = bytes >= 1;
        loop.quit();
    });
    if (!request.title.isEmpty()) onStatus(request.title, false);
    startDownload(control, request.url, request.folder, limits);
    loop.exec();
    return arrived;
}

}  // namespace

void startDownload(DownloadControl& control, const QString& url, const QString& saveAsFullName,
                   const UpdateLimits& limits) {
    const QString folder = modPub_File::GetFilePath(saveAsFullName);
    if (!fs::isDir(folder)) modPub_File::CreateDirs(folder);
    control.setLimits(limits);
    control.setReplaceExisting(true);
    control.setUrl(url);
    control.setTargetFolder(folder);
    control.start();
}

bool fetchWithoutWindow(const FetchRequest& request,
                        const std::function<void(const QString& text, bool progress)>& onStatus) {
    return fetchInLoop(request, modUpdate::GetUpdateLimits(), onStatus);
}

bool fetchQuietly(const FetchRequest& request, const UpdateLimits& limits) {
    return fetchInLoop(request, limits, [](const QString&, bool) {});
}

}  // namespace kx
