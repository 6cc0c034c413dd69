// Opening databases, testing for tables, reading KeyInfo values, finding a library by its key, and the
// catalogue tables (Index) that list a folder's libraries or price files.
#pragma once

#include <QString>
#include <memory>
#include "kxview/kxview_core_export.h"

#include "core/db/dbengine.h"

namespace modPub_DB {

/// Opens the database `p_FullName` (any extension), shared and writable. Throws kx::DbError.
KXVIEW_CORE_EXPORT std::unique_ptr<kx::Database> OpenDB(const QString& p_FullName);

/// True when `p_DB` holds a table named exactly `p_Name` (case-sensitive; system tables included).
KXVIEW_CORE_EXPORT bool TableExists(kx::Database& p_DB, const QString& p_Name);

/// The WithCode of the first KeyInfo row whose Code is `p_Code`; "" when there is none or it is Null.
/// Throws kx::DbError when the database has no KeyInfo table.
KXVIEW_CORE_EXPORT QString GetKeyInfo(kx::Database& p_DB, const QString& p_Code);

/// The full name of the first file of `folder` with extension `ext` (in listing order) whose KeyInfo
/// holds a row with WithCode `withCode`; "" when none does. Files that cannot be probed do not match.
KXVIEW_CORE_EXPORT QString FindLibraryByWithCode(const QString& folder, const QString& ext,
                                                 const QString& withCode);

/// Brings the catalogue `Path` + `DBName` up to date with every file of `Path` matching "*" + `Extension`,
/// in listing order: a catalogued file gets its library's current KeyInfo 'Name'; a new file is added
/// after the last entry (OCode one above the largest) under the first top-level entry. Nothing is deleted.
/// Throws kx::DbError when the catalogue or a library cannot be read (rows saved so far stay).
KXVIEW_CORE_EXPORT void SyncIndexFiles(const QString& DBName, const QString& Path, const QString& Extension);

/// Places the catalogue row `newID` directly after the entry whose OCode is `referenceOCode`, as its
/// sibling under `referenceParentID`, naming `fileName`: every later entry moves one place on first.
KXVIEW_CORE_EXPORT void InsertIndexAfter(kx::Database& catalogue, qint16 referenceOCode,
                                         qint32 referenceParentID, qint32 newID, const QString& fileName);

/// Writes every file stored in the table WithData of `DBFullName` into `TargetDir` (ending with a
/// separator), in table order. An existing file is replaced only after the user agrees, unless
/// `OverwriteWithoutAsking`; a stored name that kx::untrustedNameInFolder refuses is skipped. With
/// `EmptyAfterwards` the table is emptied at the end. Throws kx::DbError.
KXVIEW_CORE_EXPORT void ExportWithData(const QString& TargetDir, const QString& DBFullName,
                                       bool EmptyAfterwards, bool OverwriteWithoutAsking);

/// `text` as a SQL text literal: between apostrophes, with each apostrophe inside doubled.
KXVIEW_CORE_EXPORT QString sqlText(const QString& text);

}  // namespace modPub_DB
