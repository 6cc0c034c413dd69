// The conversion library: the conversions of one quota item, collected from the conversion files beside
// its quota library into one list that the whole program shares and each load replaces.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include "kxview/kxview_core_export.h"

namespace modPub_HS {

/// One conversion of the loaded list.
struct HSEntry {
    /// Ordinal among the entries of its kind, counted from 1 across every file of the load; 0 for kind 10.
    qint16 code = 0;
    /// The conversion's Kind, 0 to 10; kind 0 are the ordinary conversions listed under a quota row.
    qint16 kind = 0;
    /// HSName up to the marker "<PN>".
    QString name;
    /// The text after the marker, or empty.
    QString parameter;
    /// HSInfo.
    QString info;
    /// The explanation shown in the description pane.
    QString SM;
};

/// Replaces the conversion list with the conversions of quota item `dmid` of the quota library
/// `dbFullName`, read from its system file, its user file and the files its KeyInfo "WithHSK" names.
/// A missing file contributes nothing. A file that cannot be read as a conversion library, and a
/// conversion whose Kind is Null or outside 0 to 10, are left out and logged, so the list stays usable.
/// Throws kx::DbError when the quota library itself cannot be read (the list is then empty).
KXVIEW_CORE_EXPORT void LoadHS(qint32 dmid, const QString& dbFullName);

/// The entries of the last load, in load order.
KXVIEW_CORE_EXPORT const QList<HSEntry>& HSEntries();
/// Number of entries of the last load.
KXVIEW_CORE_EXPORT qint16 HSCount();
/// True when the last load found an entry of kind 0.
KXVIEW_CORE_EXPORT bool HasOrdinary();

/// The conversion files of the quota library `dbFullName` whose "WithHSK" is `withHSK`, in the order a
/// load reads them: in the folder "换算库" beside the library, its title + "_系统换算库.QTHS", its title +
/// "_用户换算库.QTHS", then each field of `withHSK` split at "|" (quoted stretches kept whole).
KXVIEW_CORE_EXPORT QStringList conversionFiles(const QString& dbFullName, const QString& withHSK);

/// The display name of a conversion name: the text before the first "<PN>", or the whole text when the
/// marker is absent or opens it.
KXVIEW_CORE_EXPORT QString SplitBeforePN(const QString& text);
/// The parameter of a conversion name: the text after the first "<PN>", or "" when the marker is absent
/// or opens it.
KXVIEW_CORE_EXPORT QString SplitAfterPN(const QString& text);

}  // namespace modPub_HS
