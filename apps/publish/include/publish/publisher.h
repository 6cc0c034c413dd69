// Publishing a folder of libraries and price files as an update service: the layout below an update
// address that the component's quota-library and price-file updates read.
#pragma once

#include <QString>
#include <QStringList>

#include "jet/status.h"

namespace publish {

/// How the published files are to be installed.
struct PublishOptions {
    /// The folder below the application folder that the source folder stands for: manifest targets are
    /// "...\" + this + "\定额库\...".
    QString dataFolder = QStringLiteral("造价资料");
};

/// What a publication wrote, as paths relative to its destination ('/'-separated), in the order written.
struct Publication {
    QStringList packages;
    QStringList informationFiles;
    QStringList checksums;
};

/// Builds the update-service folder `destination` from the data folder `source`, which holds what an
/// application's data folder holds:
///
///   定额库\<title>.QTDE             each quota library, with 定额库\换算库\<title>_系统换算库.QTHS when
///                                   there is one, and optionally 定额库\<title>.changes.txt: one change
///                                   line per line, a leading "!" emphasising it
///   材料价格文件\<key>\               each price set: its MatePriceIndex.mdb and the price files it lists
///
/// and writes, below `destination`:
///
///   更新数据\定额库\<title>.rar       Update.xml, <title>.QTDE and 换算库/<title>_系统换算库.QTHS
///   更新数据\定额库\<title>.xml       the information file: the library's KeyInfo "Ver" and its change lines
///   更新数据\材料价格\<key>\MatePriceIndex.rar and <file title>.rar for each price file listed
///   beside every package, <package>.sha256: its hex SHA-256 and name
///
/// Equal input gives equal bytes. A catalogue that lists a file name which is not a plain file name or
/// not in its folder, two price files of one title, and a library without KeyInfo stop the publication
/// with an error. `destination` must not exist or be empty; everything is written beside it first and
/// put in its place only when complete, so an error leaves nothing behind.
jet::Status publishFolder(const QString& source, const QString& destination, const PublishOptions& options,
                          Publication& publication);

}  // namespace publish
