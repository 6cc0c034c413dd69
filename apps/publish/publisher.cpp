#include "publish/publisher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <exception>
#include <filesystem>

#include "core/data/modpub_db.h"
#include "core/data/modpub_file.h"
#include "core/data/untrusted_names.h"
#include "core/io/filesystem.h"
#include "publish/packages.h"

namespace publish {
namespace {

const QString kQuotaFolder = QStringLiteral("定额库");
const QString kConversionFolder = QStringLiteral("换算库");
const QString kPriceRoot = QStringLiteral("材料价格文件");
const QString kPriceCatalogue = QStringLiteral("MatePriceIndex.mdb");
const QString kQuotaService = QStringLiteral("更新数据/定额库/");
const QString kPriceService = QStringLiteral("更新数据/材料价格/");

std::filesystem::path nativePath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

std::string utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

jet::Status failure(const QString& what) {
    return jet::Status::InvalidArgument(utf8(what));
}

/// One publication being written into a folder beside its destination.
class Writer {
public:
    Writer(QString source, QString staging, PublishOptions options, Publication& publication)
        : m_source(std::move(source)),
          m_staging(std::move(staging)),
          m_options(std::move(options)),
          m_publication(publication) {}

    jet::Status quotaLibraries();
    jet::Status priceSets();

private:
    jet::Status quotaLibrary(const QString& fileName);
    jet::Status informationFile(const QString& title, const QString& library);
    jet::Status priceSet(const QString& key);
    jet::Status package(const QString& relative, const std::vector<ZipMember>& members);
    jet::Status text(const QString& relative, const std::string& content);

    QString m_source;
    QString m_staging;
    PublishOptions m_options;
    Publication& m_publication;
};

jet::Status Writer::text(const QString& relative, const std::string& content) {
    return writeFile(nativePath(m_staging + relative), toBytes(content));
}

jet::Status Writer::package(const QString& relative, const std::vector<ZipMember>& members) {
    const QString path = m_staging + relative;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return jet::Status::IOError("cannot create the folder of " + utf8(path));
    JET_RETURN_IF_ERROR(writeZip(nativePath(path), members));
    // The line sha256sum writes: the digest, two blanks, the file's name.
    const QString name = QFileInfo(path).fileName();
    JET_RETURN_IF_ERROR(text(relative + QStringLiteral(".sha256"),
                             kx::fs::sha256Of(path).toStdString() + "  " + utf8(name) + "\n"));
    m_publication.packages << relative;
    m_publication.checksums << relative + QStringLiteral(".sha256");
    return jet::Status();
}

jet::Status Writer::quotaLibraries() {
    const QString folder = m_source + kQuotaFolder + QLatin1Char('/');
    for (const QString& fileName : kx::fs::listFiles(folder, QStringLiteral("*.QTDE")))
        JET_RETURN_IF_ERROR(quotaLibrary(fileName));
    return jet::Status();
}

jet::Status Writer::quotaLibrary(const QString& fileName) {
    const QString folder = kx::fs::resolve(m_source + kQuotaFolder) + QLatin1Char('/');
    const QString title = modPub_File::GetFileTitle(fileName);
    const QString targets =
        QStringLiteral("...\\") + m_options.dataFolder + QLatin1Char('\\') + kQuotaFolder + QLatin1Char('\\');
    std::vector<ManifestEntry> manifest{{utf8(fileName), utf8(targets + fileName), "0"}};
    std::vector<ZipMember> members;
    members.emplace_back(utf8(fileName), nativePath(folder + fileName));
    const QString system = title + QStringLiteral("_系统换算库.QTHS");
    const QString systemPath = kx::fs::resolve(folder + kConversionFolder + QLatin1Char('/') + system);
    if (QFileInfo(systemPath).isFile()) {
        const QString member = kConversionFolder + QLatin1Char('\\') + system;
        manifest.push_back({utf8(member), utf8(targets + member), "0"});
        members.emplace_back(utf8(kConversionFolder + QLatin1Char('/') + system), nativePath(systemPath));
    }
    members.insert(members.begin(), ZipMember("Update.xml", toBytes(updateManifest(manifest))));
    JET_RETURN_IF_ERROR(package(kQuotaService + title + QStringLiteral(".rar"), members));
    return informationFile(title, folder + fileName);
}

jet::Status Writer::informationFile(const QString& title, const QString& library) {
    std::string version;
    try {
        auto db = modPub_DB::OpenDB(library);
        version = utf8(modPub_DB::GetKeyInfo(*db, QStringLiteral("Ver")));
        db->Close();
    } catch (const std::exception& e) {
        return failure(library + QStringLiteral(": no KeyInfo to read the version from: ") + e.what());
    }
    std::vector<ChangeLine> changes;
    QFile notes(kx::fs::resolve(m_source + kQuotaFolder + QLatin1Char('/') + title + ".changes.txt"));
    if (notes.open(QIODevice::ReadOnly)) {
        for (const QByteArray& raw : notes.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.isEmpty()) continue;
            const bool emphasised = line.startsWith(QLatin1Char('!'));
            changes.push_back({utf8(emphasised ? line.mid(1).trimmed() : line), emphasised ? 1 : 0});
        }
    }
    const QString relative = kQuotaService + title + QStringLiteral(".xml");
    JET_RETURN_IF_ERROR(text(relative, publish::informationFile(version, changes)));
    m_publication.informationFiles << relative;
    return jet::Status();
}

jet::Status Writer::priceSets() {
    const QDir root(kx::fs::resolve(m_source + kPriceRoot));
    if (!root.exists()) return jet::Status();
    QStringList keys = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(keys.begin(), keys.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    for (const QString& key : std::as_const(keys)) JET_RETURN_IF_ERROR(priceSet(key));
    return jet::Status();
}

jet::Status Writer::priceSet(const QString& key) {
    const QString folder = kx::fs::resolve(m_source + kPriceRoot + QLatin1Char('/') + key) + QLatin1Char('/');
    const QString catalogue = kx::fs::resolve(folder + kPriceCatalogue);
    if (!QFileInfo(catalogue).isFile()) return failure(folder + QStringLiteral(": no ") + kPriceCatalogue);
    QStringList listed;
    try {
        auto db = modPub_DB::OpenDB(catalogue);
        {
            auto rows = db->OpenRecordset(QStringLiteral("SELECT * FROM Index"));
            for (; !rows->isEOF(); rows->MoveNext()) {
                const QString name = rows->Text(QStringLiteral("WithFileName"));
                if (!name.isEmpty()) listed << name;
            }
        }
        db->Close();
    } catch (const std::exception& e) {
        return failure(catalogue + QStringLiteral(": ") + e.what());
    }
    const QString remote = kPriceService + key + QLatin1Char('/');
    QSet<QString> titles;
    for (const QString& name : std::as_const(listed)) {
        const kx::NameInFolder placed = kx::untrustedNameInFolder(folder, name);
        if (!placed.accepted())
            return failure(catalogue + QStringLiteral(" lists \"") + name +
                           "\", which is no plain file name of its folder");
        const QString file = kx::fs::resolve(placed.path);
        if (!QFileInfo(file).isFile())
            return failure(catalogue + QStringLiteral(" lists \"") + name + "\", which is not in " + folder);
        const QString title = modPub_File::GetFileTitle(name);
        if (titles.contains(title.toCaseFolded()))
            return failure(catalogue + QStringLiteral(" lists two price files titled \"") + title + '"');
        titles.insert(title.toCaseFolded());
        JET_RETURN_IF_ERROR(
            package(remote + title + QStringLiteral(".rar"), {ZipMember(utf8(name), nativePath(file))}));
    }
    return package(remote + QStringLiteral("MatePriceIndex.rar"),
                   {ZipMember(utf8(kPriceCatalogue), nativePath(catalogue))});
}

}  // namespace

jet::Status publishFolder(const QString& source, const QString& destination, const PublishOptions& options,
                          Publication& publication) {
    const QString from = kx::fs::resolve(source);
    if (!QFileInfo(from).isDir()) return failure(source + QStringLiteral(" is not a folder"));
    const QString to = QFileInfo(kx::fs::resolve(destination)).absoluteFilePath();
    if (QFileInfo(to).isDir() ? !QDir(to).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                              : QFileInfo::exists(to))
        return failure(destination + QStringLiteral(" exists and is not an empty folder"));
    const QString staging = to + QStringLiteral(".partial");
    QDir(staging).removeRecursively();  // what a publication that failed before may have left
    if (!QDir().mkpath(staging)) return jet::Status::IOError("cannot create " + utf8(staging));
    publication = {};
    Writer writer(from + QLatin1Char('/'), staging + QLatin1Char('/'), options, publication);
    jet::Status status = writer.quotaLibraries();
    if (status.ok()) status = writer.priceSets();
    if (status.ok() && QFileInfo(to).isDir() && !QDir().rmdir(to))
        status = jet::Status::IOError("cannot replace " + utf8(to));
    if (status.ok() && !QDir().rename(staging, to))
        status = jet::Status::IOError("cannot create " + utf8(to));
    if (!status.ok()) {
        QDir(staging).removeRecursively();
        publication = {};
    }
    return status;
}

}  // namespace publish
