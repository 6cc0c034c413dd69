#include "core/pickers/quota_library_picker.h"

#include "core/data/modpub_db.h"
#include "core/data/modpub_file.h"
#include "core/data/modpub_tree.h"
#include "core/data/untrusted_names.h"
#include "core/io/filesystem.h"
#include "core/services/messages.h"
#include "kxview/updates.h"

namespace kx {
namespace {

const QString kInvalidChoice = QStringLiteral("选择的定额无效!请重新选择!");

/// The message a result code of UpdateDELibrary gives after a download the user asked for; "" for none.
QString downloadFailureText(qint32 code) {
    switch (code) {
        case modUpdate::kDownloadFailed:
            return QStringLiteral("远程数据链接失败！");
        case modUpdate::kExtractionFailed:
            return QStringLiteral("数据解压缩失败！");
        default:
            return {};
    }
}

void tell(const QString& text, QObject* parent) {
    showWarning(text, QStringLiteral("提示"), parent);
}

}  // namespace

void QuotaLibraryPicker::open() {
    copyCatalogueTemplateIfMissing(state.AppPath, state.Path, state.DBName);
    state.UnloadState = 1;
    modPub_DB::SyncIndexFiles(state.DBName, state.Path, state.Extension);
    loadCatalogue(m_tree, catalogueFile(), state.DefaultName);
    RefeshNodeInfo();
    modPub_Tree::MarkUninstalledNodes(state.Path, state.DBName, m_tree);
}

void QuotaLibraryPicker::RefeshNodeInfo() {
    m_display.showEntryInfo(QString(), QString());
    const std::optional<CatalogueEntry> entry = selectedEntry(m_tree, catalogueFile());
    if (!entry || entry->fileName.isEmpty()) return;
    const NameInFolder file = untrustedNameInFolder(state.Path, entry->fileName);
    if (!file.accepted()) {
        m_display.showEntryInfo(QString(), file.refusal);
    } else if (fs::isFile(file.path)) {
        auto library = modPub_DB::OpenDB(file.path);
        m_display.showEntryInfo(authorLine(*library),
                                modPub_DB::GetKeyInfo(*library, QStringLiteral("Direction")));
        library->Close();
    } else {
        m_display.showEntryInfo(QString(), QStringLiteral("敬告:<B><C=12>对应定额库尚未安装!</>"));
    }
}

bool QuotaLibraryPicker::choose() {
    const std::optional<CatalogueEntry> entry = selectedEntry(m_tree, catalogueFile());
    if (entry && !entry->fileName.isEmpty()) {
        const NameInFolder file = untrustedNameInFolder(state.Path, entry->fileName);
        if (!file.accepted()) {
            modPub_Sub::ShowMsg(file.refusal);
            return false;
        }
        if (fs::isFile(file.path)) {
            // Made before the choice is recorded, so that a failure leaves nothing chosen.
            makeRelatedQuotaFileIfMissing(entry->fileName);
            state.OpenFileFullName = file.path;
            state.UnloadState = 0;
            return true;
        }
        if (!askYesNo(QStringLiteral("选择的定额尚未安装，是否远程下载！"), m_parent)) return false;
        return chooseMissing(entry->fileName);
    }
    modPub_Sub::ShowMsg(kInvalidChoice);
    return false;
}

bool QuotaLibraryPicker::chooseMissing(const QString& fileName) {
    const qint32 code = modUpdate::UpdateDELibrary(m_updates, modPub_File::GetFileTitle(fileName),
                                                   state.AppPath, modPub_File::GetParentPath(state.Path));
    if (code == modUpdate::kUpdateFinished) {
        // The installed package decides what arrived; no related-quota file is made on this road.
        state.OpenFileFullName = state.Path + fileName;
        state.UnloadState = 0;
        return true;
    }
    if (code == modUpdate::kDeclined) return false;
    const QString failure = downloadFailureText(code);
    failure.isEmpty() ? modPub_Sub::ShowMsg(kInvalidChoice) : tell(failure, m_parent);
    return false;
}

bool QuotaLibraryPicker::chooseByDoubleClick() {
    return m_tree.TestNode(m_tree.SelectedID()) && choose();
}

void QuotaLibraryPicker::makeRelatedQuotaFileIfMissing(const QString& fileName) {
    const QString folder = state.Path + QStringLiteral("换算库\\");
    const QString related = folder + modPub_File::GetFileTitle(fileName) + QStringLiteral("_关联定额.QTWD");
    if (fs::isFile(related)) return;
    if (!fs::isDir(folder)) modPub_File::CreateDirs(folder);
    const QString templateFile = state.AppPath + QStringLiteral("System\\WithDE.mdb");
    if (!fs::isFile(templateFile) || fs::copyFile(templateFile, related) != fs::WriteResult::Ok)
        throw FileSystemError("the related-quota file " + related.toStdString() + " cannot be made from " +
                              templateFile.toStdString());
}

void QuotaLibraryPicker::updateSelected() {
    const std::optional<CatalogueEntry> entry = selectedEntry(m_tree, catalogueFile());
    if (!entry || entry->fileName.isEmpty()) return;
    const NameInFolder file = untrustedNameInFolder(state.Path, entry->fileName);
    if (!file.accepted()) {
        modPub_Sub::ShowMsg(file.refusal);
        return;
    }
    const qint32 code = modUpdate::UpdateDELibrary(m_updates, modPub_File::GetFileTitle(entry->fileName),
                                                   state.AppPath, modPub_File::GetParentPath(state.Path));
    const QString text =
        code == modUpdate::kUpdateFinished ? QStringLiteral("更新完成！") : downloadFailureText(code);
    if (!text.isEmpty()) tell(text, m_parent);
}

}  // namespace kx
