#include "modpub_db.h"

#include "platform/filesystem.h"
#include "platform/logging.h"

namespace modPub_DB {

std::unique_ptr<kx::Database> OpenDB(const QString& p_FullName) {
    return kx::openDatabase(p_FullName);
}

bool TableExists(kx::Database& p_DB, const QString& p_Name) {
    const QStringList names = p_DB.TableDefNames();
    for (const QString& name : names) {
        if (name == p_Name) return true;
    }
    return false;
}

QString GetKeyInfo(kx::Database& p_DB, const QString& p_Code) {
    auto rs = p_DB.OpenRecordset(QStringLiteral("SELECT * FROM KeyInfo WHERE Code='") + p_Code + QLatin1Char('\''));
    if (rs->RecordCount() > 0) return rs->Text(QStringLiteral("WithCode"));
    return {};
}

QString FindLibraryByWithCode(const QString& folder, const QString& ext, const QString& withCode) {
    const QStringList files = kx::fs::listFiles(folder, QStringLiteral("*") + ext);
    for (const QString& file : files) {
        const QString fullName = folder + file;
        try {
            auto db = OpenDB(fullName);
            auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM KeyInfo WHERE WithCode='") + withCode +
                                            QLatin1Char('\''),
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

}  // namespace modPub_DB
