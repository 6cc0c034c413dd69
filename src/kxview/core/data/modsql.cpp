#include "core/data/modsql.h"

namespace {

/// The rows of `table` whose Class starts with `classCode` (inserted as it stands), ordered by `orderBy`.
QString classPrefixSQL(const QString& table, const QString& classCode, const QString& orderBy) {
    return QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE Mid(") + table +
           QStringLiteral(".Class,1,") + QString::number(classCode.size()) + QStringLiteral(")='") +
           classCode + QStringLiteral("' Order BY ") + orderBy;
}

}  // namespace

namespace modSQL_Mate {
QString GetMateClassSQL(const QString& p_Class) {
    return classPrefixSQL(QStringLiteral("Mate"), p_Class, QStringLiteral("OCode"));
}
}  // namespace modSQL_Mate

namespace modSQL_DataBook {
QString GetDataBookClassSQL(const QString& p_Class) {
    return classPrefixSQL(QStringLiteral("DataBook"), p_Class, QStringLiteral("OCode"));
}
}  // namespace modSQL_DataBook

namespace modSQL_DM {
QString GetDMClassSQL(const QString& p_Class) {
    return classPrefixSQL(QStringLiteral("DM"), p_Class, QStringLiteral("Code1,Code2,Code3,Code4"));
}
}  // namespace modSQL_DM
