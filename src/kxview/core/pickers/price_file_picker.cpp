#include "core/pickers/price_file_picker.h"

#include <exception>

#include "core/data/modpub_db.h"
#include "core/data/modpub_file.h"
#include "core/data/untrusted_names.h"
#include "core/io/filesystem.h"
#include "core/services/filedialogs.h"
#include "core/services/logging.h"
#include "core/services/messages.h"
#include "kxview/updates.h"

namespace kx {
namespace {

const QString kInvalidChoice = QStringLiteral("选择的列项无效!请重新选择!");
const QString kCannotDelete = QStringLiteral("价格文件正在编辑，无法删除！");
const QString kPriceCatalogue = QStringLiteral("MatePriceIndex.mdb");

/// The folder that receives the price files a material library stores: GetParentPath(PriceDir) +
/// "材料价格文件\" + the library's key, or the refusal of a key that is no plain folder name.
NameInFolder storedPricesFolder(const QString& priceDir, Database& library) {
    return untrustedNameInFolder(modPub_File::GetParentPath(priceDir) + QStringLiteral("材料价格文件\\"),
                                 modPub_DB::GetKeyInfo(library, QStringLiteral("Key")));
}

/// Reads what the import of `source` will need (by the upper-cased `extension`) before anything is
/// copied, so that a file that is no database, or a library without the keys and tables the import
/// reads, is refused while the folder and the catalogue are untouched. Throws kx::DbError or
/// kx::FileSystemError saying what is wrong.
void checkImportSource(const QString& source, const QString& extension, const QString& priceDir) {
    auto db = modPub_DB::OpenDB(source);
    if (extension == QLatin1String(".QTJG")) modPub_DB::GetKeyInfo(*db, QStringLiteral("Name"));
    if (extension == QLatin1String(".QTCJ")) {
        const NameInFolder folder = storedPricesFolder(priceDir, *db);
        if (!folder.accepted()) throw FileSystemError(folder.refusal.toStdString());
        if (!modPub_DB::TableExists(*db, QStringLiteral("WithData")))
            throw notFoundError(source + QStringLiteral(" has no table WithData"));
    }
    db->Close();
}

}  // namespace

void PriceFilePicker::open() {
    copyCatalogueTemplateIfMissing(state.AppPath, state.PriceDir, state.DBName);
    state.UnloadState = 1;
    loadCatalogue(m_tree, catalogueFile(), state.DefaultName);
    if (m_tree.NodeCount() >= 3) {
        m_tree.setNodeExpanded(1, true);
        m_tree.setNodeExpanded(2, true);
    }
    RefeshNodeInfo();
}

void PriceFilePicker::RefeshNodeInfo() {
    m_display.showEntryInfo(QString(), QString());
    const std::optional<CatalogueEntry> entry = selectedEntry(m_tree, catalogueFile());
    if (!entry || entry->fileName.isEmpty()) return;
    const NameInFolder file = untrustedNameInFolder(state.PriceDir, entry->fileName);
    if (!file.accepted()) {
        m_display.showEntryInfo(QString(), file.refusal);
        return;
    }
    if (!fs::isFile(file.path)) {
        offerDownload(entry->fileName);
        return;
    }
    auto price = modPub_DB::OpenDB(file.path);
    m_display.showEntryInfo(authorLine(*price), modPub_DB::GetKeyInfo(*price, QStringLiteral("Direction")));
    price->Close();
}

void PriceFilePicker::offerDownload(const QString& fileName) {
    m_display.showEntryInfo(QString(), QStringLiteral("价格文件尚未下载"));
    if (!askYesNo(QStringLiteral("当前价格文件不存在，是否立即远程下载！"), m_parent)) return;
    const bool installed = modUpdate::UpdatePriceFile(m_updates, GetLastDirName(), state.AppPath,
                                                      state.AppPath + QStringLiteral("造价资料\\"), fileName);
    if (!installed || !fs::isFile(state.PriceDir + fileName)) return;
    m_tree.SetNodeImages(m_tree.SelectedIndex(), m_tree.NodeImage());
    RefeshNodeInfo();
}

bool PriceFilePicker::choose() {
    const std::optional<CatalogueEntry> entry = selectedEntry(m_tree, catalogueFile());
    if (entry && !entry->fileName.isEmpty()) {
        const NameInFolder file = untrustedNameInFolder(state.PriceDir, entry->fileName);
        if (!file.accepted()) {
            modPub_Sub::ShowMsg(file.refusal);
            return false;
        }
        if (fs::isFile(file.path)) {
            state.OpenFileFullName = file.path;
            state.UnloadState = 0;
            return true;
        }
    }
    modPub_Sub::ShowMsg(kInvalidChoice);
    return false;
}

void PriceFilePicker::deleteSelected() {
    try {
        deleteEntry();
    } catch (const std::exception& e) {
        qCWarning(lcKxView) << "price file not deleted:" << e.what();
        modPub_Sub::ShowMsg(kCannotDelete);
    }
}

void PriceFilePicker::deleteEntry() {
    const std::optional<CatalogueEntry> entry = selectedEntry(m_tree, catalogueFile());
    if (!entry) return;
    if (entry->fileName.isEmpty()) {
        modPub_Sub::ShowMsg(kCannotDelete);
        return;
    }
    const NameInFolder file = untrustedNameInFolder(state.PriceDir, entry->fileName);
    if (!file.accepted()) {
        modPub_Sub::ShowMsg(file.refusal);
        return;
    }
    if (!fs::isFile(file.path)) {
        m_tree.DeleteSelected();
        return;
    }
    QString owner;
    {
        auto price = modPub_DB::OpenDB(file.path);
        owner = modPub_DB::GetKeyInfo(*price, QStringLiteral("UserName"));
        price->Close();
    }
    if (owner.toUpper() != state.UserName.toUpper()) {
        modPub_Sub::ShowMsg(QStringLiteral("您没有权限删除当前价格！"));
        return;
    }
    const QString caption = m_tree.NodeText(m_tree.SelectedIndex());
    if (!askYesNo(QStringLiteral("确信要删除价格文件[") + caption + QStringLiteral("]!"), m_parent)) return;
    // Both must be writable before either changes: a file deleted with its entry left behind, or an
    // entry gone with its file, would be half a delete.
    requireWritable(file.path);
    requireWritable(catalogueFile());
    if (!fs::removeFile(file.path)) throw FileSystemError("cannot delete " + file.path.toStdString());
    m_tree.DeleteSelected();
}

bool PriceFilePicker::importOrBrowse() {
    return state.CanOpenOther ? OpenOtherPriceFile() : CallOtherPriceFile();
}

bool PriceFilePicker::CallOtherPriceFile() {
    try {
        OpenFileSpec spec;
        spec.title = QStringLiteral("导入...");
        spec.filter = modPub_File::GetFileFilter(state.Extension);
        return importFile(askOpenFileName(spec, m_parent));
    } catch (const DialogCancelled&) {
        return false;
    } catch (const std::exception& e) {
        qCWarning(lcKxView) << "import ended:" << e.what();
        return false;
    }
}

bool PriceFilePicker::importFile(const QString& source) {
    const NameInFolder target = untrustedNameInFolder(state.PriceDir, modPub_File::GetFileName(source));
    if (!target.accepted()) {
        modPub_Sub::ShowMsg(target.refusal);
        return false;
    }
    const QString extension = state.Extension.toUpper();
    checkImportSource(source, extension, state.PriceDir);
    if (extension == QLatin1String(".QTJG")) requireWritable(state.PriceDir + kPriceCatalogue);
    const bool existed = fs::isFile(target.path);
    bool copied = false;
    if (!fs::sameFile(source, target.path)) {
        if (existed && !askYesNo(QStringLiteral("导入的文件已经存在，是否覆盖！"), m_parent)) return false;
        if (fs::copyFile(source, target.path) != fs::WriteResult::Ok)
            throw FileSystemError("cannot copy " + source.toStdString() + " to " + target.path.toStdString());
        copied = true;
    }
    try {
        registerImport(target.path, source);
    } catch (...) {
        // A file that was not there before leaves again; one the user agreed to replace stays replaced.
        if (copied && !existed) fs::removeFile(target.path);
        throw;
    }
    state.OpenFileFullName = target.path;
    state.UnloadState = 0;
    return true;
}

void PriceFilePicker::registerImport(const QString& target, const QString& source) {
    const QString extension = state.Extension.toUpper();
    auto imported = modPub_DB::OpenDB(target);
    if (extension == QLatin1String(".QTCJ")) {
        const NameInFolder folder = storedPricesFolder(state.PriceDir, *imported);
        if (!folder.accepted()) throw FileSystemError(folder.refusal.toStdString());
        const QString priceFolder = folder.path + QLatin1Char('\\');
        if (!fs::isDir(priceFolder) && !fs::makeDir(priceFolder))
            throw FileSystemError("cannot create " + priceFolder.toStdString());
        imported->Close();
        modPub_DB::ExportWithData(priceFolder, target, true, false);
        return;
    }
    if (extension == QLatin1String(".QTJG")) {
        auto catalogue = modPub_DB::OpenDB(state.PriceDir + kPriceCatalogue);
        const std::optional<CatalogueEntry> reference = readCatalogueEntry(*catalogue, m_tree.SelectedID());
        if (reference) {
            m_tree.AddNode(modPub_DB::GetKeyInfo(*imported, QStringLiteral("Name")));
            modPub_DB::InsertIndexAfter(*catalogue, reference->order, reference->parentId,
                                        m_tree.SelectedID(), modPub_File::GetFileName(source));
        }
        catalogue->Close();
    }
    imported->Close();
}

bool PriceFilePicker::OpenOtherPriceFile() {
    try {
        OpenFileSpec spec;
        spec.title = QStringLiteral("打开价格文件");
        spec.fileName = state.AppPath + QStringLiteral("用户数据\\我的价格文件\\*.JG");
        spec.filter = QStringLiteral("价格文件(*.QTJG;*.JG)|*.QTJG;*.JG");
        state.OpenFileFullName = askOpenFileName(spec, m_parent);
        state.UnloadState = 0;
        return true;
    } catch (const std::exception& e) {
        qCDebug(lcKxView) << "browsing ended:" << e.what();
        return false;
    }
}

void PriceFilePicker::updateSet() {
    modUpdate::UpdatePriceFiles(m_updates, GetLastDirName(), state.AppPath,
                                modPub_File::GetParentPath(modPub_File::GetParentPath(state.PriceDir)));
}

QString PriceFilePicker::GetLastDirName() const {
    QString folder = state.PriceDir;
    if (folder.endsWith(QLatin1Char('\\')) || folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    return modPub_File::GetFileName(folder);
}

}  // namespace kx
