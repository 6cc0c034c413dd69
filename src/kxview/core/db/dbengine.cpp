#include "core/db/dbengine.h"

#include <QDateTime>
#include <cmath>

#include "core/io/filesystem.h"
#include "jet/format_value.h"

namespace kx {
namespace {

constexpr qint64 kMillisPerDay = 86'400'000;
// Day 0 of Jet dates.
const QDate kJetEpoch(1899, 12, 30);

QDateTime toDateTime(jet::DateTime d) {
    // The fraction is the time of day even for negative day numbers.
    double whole = std::trunc(d.days);
    auto ms = static_cast<qint64>(std::llround(std::fabs(d.days - whole) * kMillisPerDay));
    QDateTime t(kJetEpoch.addDays(static_cast<qint64>(whole)), QTime(0, 0), Qt::UTC);
    return t.addMSecs(ms);
}

jet::DateTime fromDateTime(const QDateTime& t) {
    auto days = static_cast<double>(kJetEpoch.daysTo(t.date()));
    double fraction = static_cast<double>(t.time().msecsSinceStartOfDay()) / kMillisPerDay;
    return jet::DateTime{days >= 0 ? days + fraction : days - fraction};
}

QString decimalText(double v, int digits) {
    return QString::number(v, 'g', digits);
}

QString text(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

void throwIfError(const jet::Status& status) {
    if (!status.ok()) throw DbError(status);
}

DbError notFoundError(const QString& what) {
    return DbError(jet::Status::NotFound(what.toStdString()));
}

QVariant toVariant(const jet::Value& value) {
    return std::visit(
        [](const auto& x) -> QVariant {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return QVariant();
            else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, double>)
                return QVariant(x);
            else if constexpr (std::is_same_v<T, int64_t>)
                return QVariant(static_cast<qlonglong>(x));
            else if constexpr (std::is_same_v<T, float>)
                return QVariant(static_cast<double>(x));
            else if constexpr (std::is_same_v<T, jet::Currency>)
                return QVariant(static_cast<double>(x.scaled) / 10000.0);
            else if constexpr (std::is_same_v<T, jet::DateTime>)
                return QVariant(toDateTime(x));
            else if constexpr (std::is_same_v<T, std::string>)
                return QVariant(text(x));
            else if constexpr (std::is_same_v<T, jet::Bytes>)
                return QVariant(
                    QByteArray(reinterpret_cast<const char*>(x.data()), static_cast<qsizetype>(x.size())));
            else if constexpr (std::is_same_v<T, jet::Guid>)
                return QVariant(text(jet::formatGuid(x)));
            else
                return QVariant(text(jet::formatDecimal(x)));
        },
        value);
}

jet::Value fromVariant(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return jet::Value();
    switch (value.typeId()) {
        case QMetaType::Bool:
            return jet::Value(value.toBool());
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::ULongLong:
            return jet::Value(static_cast<int64_t>(value.toLongLong()));
        case QMetaType::Double:
        case QMetaType::Float:
            return jet::Value(value.toDouble());
        case QMetaType::QDateTime:
            return jet::Value(fromDateTime(value.toDateTime()));
        case QMetaType::QDate:
            return jet::Value(fromDateTime(value.toDate().startOfDay(Qt::UTC)));
        case QMetaType::QByteArray: {
            QByteArray b = value.toByteArray();
            return jet::Value(jet::Bytes(b.begin(), b.end()));
        }
        default:
            return jet::Value(value.toString().toStdString());
    }
}

QString valueText(const jet::Value& value) {
    return std::visit(
        [](const auto& x) -> QString {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return QString();
            else if constexpr (std::is_same_v<T, bool>)
                return x ? QStringLiteral("True") : QStringLiteral("False");
            else if constexpr (std::is_same_v<T, int64_t>)
                return QString::number(static_cast<qlonglong>(x));
            else if constexpr (std::is_same_v<T, float>)
                return decimalText(x, 7);
            else if constexpr (std::is_same_v<T, double>)
                return decimalText(x, 15);
            else if constexpr (std::is_same_v<T, jet::Currency>)
                return decimalText(static_cast<double>(x.scaled) / 10000.0, 19);
            else if constexpr (std::is_same_v<T, jet::DateTime>) {
                QDateTime t = toDateTime(x);
                if (t.time() == QTime(0, 0)) return t.date().toString(QStringLiteral("yyyy-MM-dd"));
                return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            } else if constexpr (std::is_same_v<T, std::string>)
                return text(x);
            else if constexpr (std::is_same_v<T, jet::Bytes>)
                return QString::fromLatin1(
                    QByteArray(reinterpret_cast<const char*>(x.data()), static_cast<qsizetype>(x.size()))
                        .toHex());
            else if constexpr (std::is_same_v<T, jet::Guid>)
                return text(jet::formatGuid(x));
            else
                return text(jet::formatDecimal(x));
        },
        value);
}

void Recordset::MoveNext() {
    throwIfError(m_rs->MoveNext());
}

QStringList Recordset::FieldNames() const {
    QStringList names;
    for (size_t i = 0; i < m_rs->FieldCount(); ++i) {
        auto field = m_rs->Fields(i);
        if (!field.ok()) return {};  // no current record: the engine names no fields
        names << text(field->Name());
    }
    return names;
}

size_t Recordset::fieldIndex(const QString& name) const {
    for (const auto& [known, index] : m_fieldIndexes)
        if (sameText(known, name)) return index;
    const size_t index = valueOrThrow(m_rs->FieldIndex(name.toStdString()));
    m_fieldIndexes.emplace_back(name, index);
    return index;
}

const jet::Value& Recordset::RawValue(const QString& name) const {
    return *valueOrThrow(m_rs->FieldValue(fieldIndex(name)));
}

QVariant Recordset::Value(const QString& name) const {
    return toVariant(RawValue(name));
}

QString Recordset::Text(const QString& name) const {
    return valueText(RawValue(name));
}

void Recordset::SetValue(const QString& name, const QVariant& value) {
    auto field = valueOrThrow(m_rs->Fields(name.toStdString()));
    throwIfError(field.SetValue(fromVariant(value)));
}

void Recordset::Edit() {
    throwIfError(m_rs->Edit());
}
void Recordset::AddNew() {
    throwIfError(m_rs->AddNew());
}
void Recordset::Update() {
    throwIfError(m_rs->Update());
}

std::unique_ptr<Recordset> Database::OpenRecordset(const QString& sql, RecordsetTypeEnum type) {
    auto rs =
        valueOrThrow(m_db->OpenRecordset(sql.toStdString(), static_cast<jet::dao::RecordsetType>(type)));
    return std::make_unique<Recordset>(std::move(rs));
}

qint64 Database::Execute(const QString& sql) {
    return static_cast<qint64>(valueOrThrow(m_db->Execute(sql.toStdString())));
}

std::shared_ptr<const jet::sql::RowsByField> Database::ReadRowsByField(const QString& table,
                                                                       const QString& field) {
    return valueOrThrow(m_db->ReadRowsByField(table.toStdString(), field.toStdString()));
}

jet::FileStamp Database::ChangeStamp() {
    return valueOrThrow(m_db->ChangeStamp());
}

void Database::holdReads() {
    throwIfError(m_db->HoldReads());
}

bool Database::IsReadOnly() const {
    return m_db->ReadOnly();
}

QString Database::ReadOnlyReason() const {
    return text(m_db->ReadOnlyReason());
}

int Database::TableDefCount() const {
    return static_cast<int>(valueOrThrow(m_db->TableDefCount()));
}

QStringList Database::TableDefNames() const {
    QStringList names;
    for (const std::string& name : valueOrThrow(m_db->TableDefNames())) names << text(name);
    return names;
}

std::unique_ptr<Database> DBEngine::OpenDatabase(const QString& fullName) {
    const QString path = fs::resolve(fullName);
    jet::OpenOptions options;
    // Libraries on read-only media or shares still open for browsing; a write then fails naming why.
    options.mode = jet::OpenMode::ReadWriteIfPermitted;
    // A Jet 3 header's code page cannot be trusted, and this component's libraries are Chinese.
    options.jet3CodePage = kJet3TextEncoding;
    auto db = m_engine.OpenDatabase(path.toStdString(), options);
    return std::make_unique<Database>(valueOrThrow(std::move(db)), path);
}

std::unique_ptr<Database> openDatabase(const QString& fullName) {
    static DBEngine engine;
    return engine.OpenDatabase(fullName);
}

}  // namespace kx
