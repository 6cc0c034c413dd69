#include "core/data/modpub_db.h"

#include <limits>
#include <string>

#include "core/data/numbers.h"
#include "core/data/untrusted_names.h"

#include "core/io/filesystem.h"
#include "core/services/logging.h"
#include "core/services/messages.h"

namespace modPub_DB {

std::unique_ptr<kx::Database> OpenDB(const QString& p_FullName) {
    return kx::openDatabase(p_FullName);
}

namespace {

/// The catalogue order counts in a 16-bit integer, as the tree reports entries.
qint16 checkedOrder(qint64 order) {
    if (order > std::numeric_limits<qint16>::max() || order < std::numeric_limits<qint16>::min())
        throw kx::DbError(jet::Status::InvalidArgument("catalogue order OCode " + std::to_string(order) +
                                                       " is outside the 16-bit range"));
    return static_cast<qint16>(order);
}

/// The largest OCode of the catalogue; 0 when it has no entries.
qint16 largestOrder(kx::Database& catalogue) {
    auto rs = catalogue.OpenRecordset(QStringLiteral("SELECT MAX(OCode) AS MaxCode From Index"));
    if (rs->RecordCount() == 0) return 0;
    return checkedOrder(static_cast<qint64>(kx::leadingNumber(rs->Text(QStringLiteral("MaxCode")))));
}

/// The ID of the first top-level entry, the parent of newly registered files; 0 when there is none.
qint32 firstTopLevelID(kx::Database& catalogue) {
    auto rs = catalogue.OpenRecordset(QStringLiteral("SELECT * FROM Index WHERE ParentID=0"));
    return rs->RecordCount() > 0 ? rs->Value(QStringLiteral("ID")).toInt() : 0;
}

bool userAgreesToOverwrite(const QString& name) {
    return kx::askYesNo(QStringLiteral("导入的文件[") + name + QStringLiteral("]已经存在，是否覆盖！"));
}

}  // namespace

QString sqlText(const QString& text) {
    QString doubled = text;
    doubled.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + doubled + QLatin1Char('\'');
}

bool TableExists(kx::Database& p_DB, const QString& p_Name) {
    const QStringList names = p_DB.TableDefNames();
    for (const QString& name : names) {
        if (name == p_Name) return true;
    }
    return false;
}

QString GetKeyInfo(kx::Database& p_DB, const QString& p_Code) {
    auto rs =
        p_DB.OpenRecordset(QStringLiteral("SELECT * FROM KeyInfo WHERE Code='") + p_Code + QLatin1Char('\''));
    if (rs->RecordCount() > 0) return rs->Text(QStringLiteral("WithCode"));
    return {};
}

QString FindLibraryByWithCode(const QString& folder, const QString& ext, const QString& withCode) {
    const QStringList files = kx::fs::listFiles(folder, QStringLiteral("*") + ext);
    for (const QString& file : files) {
        const QString fullName = folder + file;
        try {
            auto db = OpenDB(fullName);
            auto rs = db->OpenRecordset(
                QStringLiteral("SELECT * FROM KeyInfo WHERE WithCode='") + withCode + QLatin1Char('\''),
                kx::dbOpenDynaset);
            bool found = rs->RecordCount() > 0;
            db->Close();
            if (found) return fullName;
        } catch (const kx::DbError& e) {
            // A file that is no library (or has no KeyInfo) simply does not match.
            qCDebug(lcKxView) << "skipping" << fullName << ":" << e.what();
        }
    }
    return {};
}

void SyncIndexFiles(const QString& DBName, const QString& Path, const QString& Extension) {
    auto catalogue = OpenDB(Path + DBName);
    qint16 counter = largestOrder(*catalogue);
    const QStringList files = kx::fs::listFiles(Path, QStringLiteral("*") + Extension);
    for (const QString& file : files) {
        auto entry = catalogue->OpenRecordset(QStringLiteral("SELECT * FROM Index WHERE WithFileName=") +
                                              sqlText(file));
        QString name;
        {
            auto library = OpenDB(Path + file);
            auto keyInfo = library->OpenRecordset(QStringLiteral("SELECT * FROM KeyInfo WHERE Code='Name'"));
            if (keyInfo->RecordCount() == 0)
                throw kx::notFoundError(Path + file + QStringLiteral(" has no KeyInfo row with Code 'Name'"));
            name = keyInfo->Text(QStringLiteral("WithCode"));
            library->Close();
        }
        if (entry->RecordCount() > 0) {
            entry->Edit();
            entry->SetValue(QStringLiteral("Name"), name);
        } else {
            const qint32 parentID = firstTopLevelID(*catalogue);
            counter = checkedOrder(qint64{counter} + 1);
            entry->AddNew();
            entry->SetValue(QStringLiteral("ParentID"), parentID);
            entry->SetValue(QStringLiteral("Name"), name);
            entry->SetValue(QStringLiteral("WithFileName"), file);
            entry->SetValue(QStringLiteral("OCode"), counter);
        }
        entry->Update();
    }
    catalogue->Close();
}

void InsertIndexAfter(kx::Database& catalogue, qint16 referenceOCode, qint32 referenceParentID, qint32 newID,
                      const QString& fileName) {
    const qint16 newOrder = checkedOrder(qint64{referenceOCode} + 1);
    catalogue.Execute(QStringLiteral("Update Index set OCode=OCode+1 where OCode>") +
                      QString::number(referenceOCode));
    catalogue.Execute(QStringLiteral("Update Index set WithFileName=") + sqlText(fileName) +
                      QStringLiteral(",OCode=") + QString::number(newOrder) + QStringLiteral(",ParentID=") +
                      QString::number(referenceParentID) + QStringLiteral(" where id=") +
                      QString::number(newID));
}

void ExportWithData(const QString& TargetDir, const QString& DBFullName, bool EmptyAfterwards,
                    bool OverwriteWithoutAsking) {
    auto db = OpenDB(DBFullName);
    {
        auto stored = db->OpenRecordset(QStringLiteral("WithData"));
        for (; !stored->isEOF(); stored->MoveNext()) {
            const QString name = stored->Text(QStringLiteral("Name"));
            const kx::NameInFolder placed = kx::untrustedNameInFolder(TargetDir, name);
            if (!placed.accepted()) continue;  // logged where refused
            const QString& target = placed.path;
            if (kx::fs::isFile(target) && !OverwriteWithoutAsking && !userAgreesToOverwrite(name)) continue;
            if (kx::fs::writeFile(target, stored->Value(QStringLiteral("WithData")).toByteArray()) !=
                kx::fs::WriteResult::Ok)
                throw kx::FileSystemError("cannot write " + target.toStdString());
        }
    }
    if (EmptyAfterwards) db->Execute(QStringLiteral("DELETE * FROM WithData"));
    db->Close();
}

}  // namespace modPub_DB
