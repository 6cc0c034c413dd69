// Opening databases, testing for tables, reading KeyInfo values and finding a library by its key.
#pragma once

#include <QString>
#include <memory>

#include "platform/dbengine.h"

namespace modPub_DB {

/// Opens the database `p_FullName` (any extension), shared and writable. Throws kx::DbError.
std::unique_ptr<kx::Database> OpenDB(const QString& p_FullName);

/// True when `p_DB` holds a table named exactly `p_Name` (case-sensitive; system tables included).
bool TableExists(kx::Database& p_DB, const QString& p_Name);

/// The WithCode of the first KeyInfo row whose Code is `p_Code`; "" when there is none or it is Null.
/// Throws kx::DbError when the database has no KeyInfo table.
QString GetKeyInfo(kx::Database& p_DB, const QString& p_Code);

/// The full name of the first file of `folder` with extension `ext` (in listing order) whose KeyInfo
/// holds a row with WithCode `withCode`; "" when none does. Files that cannot be probed do not match.
QString FindLibraryByWithCode(const QString& folder, const QString& ext, const QString& withCode);

}  // namespace modPub_DB
