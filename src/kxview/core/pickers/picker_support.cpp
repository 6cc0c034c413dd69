#include "core/pickers/picker_support.h"

#include "core/data/modpub_db.h"
#include "core/io/filesystem.h"
#include "kxview/errors.h"

namespace kx {

std::optional<CatalogueEntry> readCatalogueEntry(Database& catalogue, qint32 id) {
    auto rs = catalogue.OpenRecordset(QStringLiteral("SELECT * FROM Index WHERE ID=") + QString::number(id));
    if (rs->RecordCount() == 0) return std::nullopt;
    CatalogueEntry entry;
    entry.parentId = rs->Value(QStringLiteral("ParentID")).toInt();
    entry.order = static_cast<qint16>(rs->Value(QStringLiteral("OCode")).toInt());
    entry.fileName = rs->Text(QStringLiteral("WithFileName"));
    return entry;
}

std::optional<CatalogueEntry> selectedEntry(const CatalogueTree& tree, const QString& catalogueFile) {
    auto catalogue = modPub_DB::OpenDB(catalogueFile);
    std::optional<CatalogueEntry> entry = readCatalogueEntry(*catalogue, tree.SelectedID());
    catalogue->Close();
    return entry;
}

void copyCatalogueTemplateIfMissing(const QString& appPath, const QString& folder, const QString& dbName) {
    const QString catalogue = folder + dbName;
    if (fs::isFile(catalogue)) return;
    const QString templateFile = appPath + QStringLiteral("System\\") + dbName;
    if (!fs::isFile(templateFile) || fs::copyFile(templateFile, catalogue) != fs::WriteResult::Ok)
        throw FileSystemError("the catalogue " + catalogue.toStdString() + " is missing and its template " +
                              templateFile.toStdString() + " cannot be copied there");
}

void loadCatalogue(CatalogueTree& tree, const QString& catalogueFile, const QString& defaultName) {
    qint32 defaultId = 0;  // no entry has ID 0: nothing is selected
    if (!defaultName.isEmpty()) {
        auto catalogue = modPub_DB::OpenDB(catalogueFile);
        auto rs = catalogue->OpenRecordset(QStringLiteral("SELECT * FROM Index WHERE Name=") +
                                           modPub_DB::sqlText(defaultName));
        if (rs->RecordCount() > 0) defaultId = rs->Value(QStringLiteral("ID")).toInt();
        rs->Close();
        catalogue->Close();
    }
    tree.setDefaultID(defaultId);
    tree.LoadTree(catalogueFile, QStringLiteral("Index"));
}

QString authorLine(Database& file) {
    return QStringLiteral("制作人：") + modPub_DB::GetKeyInfo(file, QStringLiteral("Man")) +
           QStringLiteral("  创建日期：") + modPub_DB::GetKeyInfo(file, QStringLiteral("Date"));
}

void requireWritable(const QString& fullName) {
    auto db = modPub_DB::OpenDB(fullName);
    const QString reason = db->IsReadOnly() ? db->ReadOnlyReason() : QString();
    db->Close();
    if (!reason.isEmpty())
        throw DbError(jet::Status::IOError(fullName.toStdString() + ": " + reason.toStdString()));
}

}  // namespace kx
