#include "core/update/offers.h"

#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "core/data/modpub_db.h"
#include "core/data/numbers.h"
#include "core/data/untrusted_names.h"
#include "core/io/filesystem.h"
#include "core/io/xmldocument.h"
#include "core/services/logging.h"
#include "kxview/updates.h"

namespace kx {
namespace {

const QString kPriceCatalogue = QStringLiteral("MatePriceIndex.mdb");

/// Why the information file `path` is not read, when it is larger than the host allows.
std::optional<UpdateRefusal> oversizedInformation(const QString& path, const UpdateLimits& limits) {
    const qint64 bytes = QFileInfo(fs::resolve(path)).size();
    if (limits.maxInformationBytes <= 0 || bytes <= limits.maxInformationBytes) return std::nullopt;
    return UpdateRefusal{UpdateRefusal::Reason::InformationTooLarge,
                         QStringLiteral("更新信息文件过大（%1 KB，上限 %2 KB），未显示更新内容。")
                             .arg((bytes + 1023) / 1024)
                             .arg(limits.maxInformationBytes / 1024)};
}

/// Why the change lines of `info` are not shown, when there are more than the host allows.
std::optional<UpdateRefusal> overlongInformation(const XmlNode& info, const UpdateLimits& limits) {
    const auto lines = std::count_if(info.children.begin(), info.children.end(),
                                     [](const XmlNode& n) { return n.kind == XmlNode::Kind::Element; });
    if (limits.maxInformationLines <= 0 || lines <= limits.maxInformationLines) return std::nullopt;
    return UpdateRefusal{UpdateRefusal::Reason::InformationTooManyLines,
                         QStringLiteral("更新信息文件列出 %1 行更新内容，超过上限 %2 行，未显示。")
                             .arg(lines)
                             .arg(limits.maxInformationLines)};
}

QuotaLibraryOffer::Change changeLine(const XmlNode& line) {
    // A line missing its attributes reads as empty text and marker 0 rather than failing the offer.
    return {line.attributeAt(0).value_or(QString()),
            static_cast<int>(std::nearbyint(leadingNumber(line.attributeAt(1).value_or(QString()))))};
}

/// The installed price set, whose catalogue is opened only when an entry needs it.
class InstalledPriceSet {
public:
    explicit InstalledPriceSet(QString folder) : m_folder(std::move(folder)) {}
    ~InstalledPriceSet() {
        if (m_catalogue) m_catalogue->Close();
    }

    /// How the offered file entry compares with this set.
    PriceFileEntry::State compare(const PriceFileEntry& entry) {
        if (!fs::isFile(m_folder + entry.fileName)) return PriceFileEntry::State::New;
        if (entry.created == entry.modified) return PriceFileEntry::State::Same;
        auto installed = catalogue().OpenRecordset(QStringLiteral("SELECT * FROM Index WHERE WithFileName=") +
                                                   modPub_DB::sqlText(entry.fileName));
        const bool changed =
            installed->RecordCount() > 0 && installed->Text(QStringLiteral("ModifyDate")) != entry.modified;
        return changed ? PriceFileEntry::State::Changed : PriceFileEntry::State::Same;
    }

private:
    Database& catalogue() {
        if (!m_catalogue) m_catalogue = modPub_DB::OpenDB(m_folder + kPriceCatalogue);
        return *m_catalogue;
    }

    QString m_folder;
    std::unique_ptr<Database> m_catalogue;
};

/// The entries of the offered catalogue whose ParentID is `parentId`, in the catalogue's order.
std::vector<PriceFileEntry> LoadRec_Child(Database& offered, qint32 parentId) {
    auto rows = offered.OpenRecordset(QStringLiteral("SELECT * FROM Index WHERE ParentID=") +
                                      QString::number(parentId));
    std::vector<PriceFileEntry> children;
    for (; !rows->isEOF(); rows->MoveNext()) {
        PriceFileEntry entry;
        entry.id = rows->Value(QStringLiteral("ID")).toInt();
        entry.name = rows->Text(QStringLiteral("Name"));
        entry.created = rows->Text(QStringLiteral("CreatDate"));
        entry.modified = rows->Text(QStringLiteral("ModifyDate"));
        entry.note = rows->Text(QStringLiteral("SM"));
        entry.fileName = rows->Text(QStringLiteral("WithFileName"));
        children.push_back(std::move(entry));
    }
    return children;
}

}  // namespace

UpdatePrompts::~UpdatePrompts() = default;

void UpdatePrompts::refused(const UpdateRefusal& refusal) {
    inform(refusal.text);
}

void UpdatePrompts::installed(const QStringList& /*files*/) {}

bool QuotaLibraryOffer::isCurrent() const {
    return leadingNumber(installedVersion) == leadingNumber(offeredVersion);
}

QString QuotaLibraryOffer::headline() const {
    if (refusal) return refusal->text;
    if (!readable) return {};
    if (isCurrent())
        return QStringLiteral("定额库数据为最新[") + installedVersion + QStringLiteral("]版") +
               QStringLiteral("，不需要更新！");
    return QStringLiteral("当前定额库版本 [") + installedVersion + QStringLiteral("] 最新版本 [") +
           offeredVersion + QStringLiteral("],更新内容如下：");
}

QuotaLibraryOffer readQuotaLibraryOffer(const QString& informationFile, const QString& libraryFile) {
    QuotaLibraryOffer offer;
    offer.libraryFile = libraryFile;
    offer.informationFile = informationFile;
    {
        auto db = modPub_DB::OpenDB(libraryFile);
        offer.installedVersion = modPub_DB::GetKeyInfo(*db, QStringLiteral("Ver"));
        db->Close();
    }
    const UpdateLimits limits = modUpdate::GetUpdateLimits();
    offer.refusal = oversizedInformation(informationFile, limits);
    if (offer.refusal) return offer;
    XmlDocument document;
    document.load(informationFile);
    const XmlNode* update = document.selectSingleNode(QStringLiteral("Update"));
    const XmlNode* info = update ? update->selectSingleNode(QStringLiteral("Info")) : nullptr;
    if (info == nullptr) return offer;
    offer.refusal = overlongInformation(*info, limits);
    if (offer.refusal) return offer;
    offer.readable = true;
    offer.offeredVersion = info->attributeAt(0).value_or(QString());
    for (const XmlNode& line : info->children) {
        if (line.kind == XmlNode::Kind::Element) offer.changes << changeLine(line);
    }
    return offer;
}

QString installedPriceSetFolder(const QString& dataPath, const QString& mateKey) {
    return dataPath + QStringLiteral("材料价格文件\\") + mateKey + QLatin1Char('\\');
}

void dropEntriesWithUntrustedNames(const QString& catalogue, const QString& setFolder) {
    auto db = modPub_DB::OpenDB(catalogue);
    QList<qint32> unsafe;
    {
        auto rows = db->OpenRecordset(QStringLiteral("SELECT * FROM Index"));
        for (; !rows->isEOF(); rows->MoveNext()) {
            const QString name = rows->Text(QStringLiteral("WithFileName"));
            if (name.isEmpty() || untrustedNameInFolder(setFolder, name).accepted()) continue;
            qCWarning(lcKxView) << "price catalogue entry dropped for its file name:" << name;
            unsafe << rows->Value(QStringLiteral("ID")).toInt();
        }
    }
    for (const qint32 id : std::as_const(unsafe))
        db->Execute(QStringLiteral("DELETE FROM Index WHERE ID=") + QString::number(id));
    db->Close();
}

PriceSetOffer readPriceSetOffer(const QString& offeredCatalogue, const QString& dataPath,
                                const QString& mateKey) {
    PriceSetOffer offer{mateKey, dataPath, offeredCatalogue, {}};
    InstalledPriceSet installed(installedPriceSetFolder(dataPath, mateKey));
    auto catalogue = modPub_DB::OpenDB(offeredCatalogue);
    // Depth first without recursion, so that a deep catalogue cannot exhaust the stack: the entries still to
    // list, the next one last.
    std::vector<PriceFileEntry> pending = LoadRec_Child(*catalogue, 0);
    std::reverse(pending.begin(), pending.end());
    QSet<qint32> listed;  // a damaged parent chain cannot list an entry twice, nor loop
    while (!pending.empty()) {
        PriceFileEntry entry = std::move(pending.back());
        pending.pop_back();
        if (listed.contains(entry.id)) continue;
        listed.insert(entry.id);
        std::vector<PriceFileEntry> children = LoadRec_Child(*catalogue, entry.id);
        pending.insert(pending.end(), std::make_move_iterator(children.rbegin()),
                       std::make_move_iterator(children.rend()));
        if (entry.isFile()) entry.state = installed.compare(entry);
        offer.entries << std::move(entry);
    }
    catalogue->Close();
    return offer;
}

}  // namespace kx
