#include "core/update/modunzip.h"

#include "core/io/filesystem.h"
#include "core/services/logging.h"
#include "core/services/messages.h"
#include "kxview/updates.h"

namespace modUnZip {
namespace {

bool endsWithSeparator(const QString& path) {
    return path.endsWith(QLatin1Char('\\')) || path.endsWith(QLatin1Char('/'));
}

}  // namespace

bool UnZipArchive(const QString& archive, QString& folder) {
    return unpackArchive(archive, folder, askBeforeReplacing) == kx::UnzipResult::Ok;
}

kx::UnzipResult unpackArchive(const QString& archive, QString& folder, const kx::ReplaceQuestion& ask) {
    if (!endsWithSeparator(folder)) folder += QLatin1Char('\\');
    if (!kx::fs::isDir(folder) && !kx::fs::makeDir(folder)) {
        qCWarning(lcKxView) << "cannot create the extraction folder" << folder;
        return kx::UnzipResult::DiskError;
    }
    return static_cast<kx::UnzipResult>(RunUnzip(archive, folder, ask));
}

int RunUnzip(const QString& archive, const QString& folder, const kx::ReplaceQuestion& ask) {
    const kx::UnzipResult result = kx::extractZip(archive, folder, ask, modUpdate::GetUpdateLimits());
    if (result != kx::UnzipResult::Ok)
        qCWarning(lcKxView) << "unzip of" << archive << "returned" << int(result);
    return static_cast<int>(result);
}

int OnUnzipReplace(const QString& name) {
    kx::MessageBoxSpec question;
    question.text = QStringLiteral("Overwrite ") + name + QLatin1Char('?');
    question.title = QStringLiteral("VBUnzip - File already exists");
    question.icon = kx::MessageBoxSpec::Icon::Question;
    question.buttons = kx::MessageBoxSpec::Buttons::YesNoCancel;
    switch (kx::messageService().show(question, nullptr)) {
        case kx::MessageAnswer::Yes:
            return IDM_REPLACE_YES;
        case kx::MessageAnswer::Cancel:
            return IDM_REPLACE_NONE;
        default:
            return IDM_REPLACE_NO;
    }
}

kx::ReplaceAnswer askBeforeReplacing(const QString& name) {
    switch (OnUnzipReplace(name)) {
        case IDM_REPLACE_YES:
            return kx::ReplaceAnswer::Replace;
        case IDM_REPLACE_NONE:
            return kx::ReplaceAnswer::KeepAll;
        default:
            return kx::ReplaceAnswer::Keep;
    }
}

}  // namespace modUnZip
