// The sample application directory of a test run: built once by the ctest fixture "sample_app"
// (tests/sample/build_fixture.cmake), read in place, and copied by the tests that change it.
#pragma once

#include <QString>
#include <QStringList>

namespace kxtest {

/// The fixture's application directory, without a trailing separator.
QString sampleApp();

/// Copies the folder `from` into the new folder `to` with everything below it, except top-level entries
/// named in `skip`.
bool copyTree(const QString& from, const QString& to, const QStringList& skip = {});

/// Copies the fixture's application directory into the new folder `to`, except the top-level entries in
/// `skip`; false, with a warning that names the fixture, when it is missing or the copy fails.
bool copySampleApp(const QString& to, const QStringList& skip = {});

}  // namespace kxtest
