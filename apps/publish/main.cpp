// kxview-publish: builds an update-service folder from a folder of quota libraries and price sets.
//
//   kxview-publish SRC DEST [--data-folder NAME]
//
// SRC holds 定额库\ and 材料价格文件\<key>\ as an application's data folder does; DEST (new or empty)
// receives 更新数据\ with the packages, information files and checksums (publish/publisher.h). Serve DEST
// with any web server and give its address to the updates.
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "publish/publisher.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    publish::PublishOptions options;
    const qsizetype flag = args.indexOf(QStringLiteral("--data-folder"));
    if (flag >= 0 && flag + 1 < args.size()) {
        options.dataFolder = args.takeAt(flag + 1);
        args.removeAt(flag);
    }
    if (args.size() != 2 || args[0].startsWith(QLatin1Char('-')) || args[1].startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: kxview-publish SRC DEST [--data-folder NAME]\n");
        return 64;
    }
    publish::Publication publication;
    const jet::Status status = publish::publishFolder(args[0], args[1], options, publication);
    if (!status.ok()) {
        std::fprintf(stderr, "kxview-publish: %s\n", status.toString().c_str());
        return 1;
    }
    for (const QString& package : std::as_const(publication.packages))
        std::printf("%s\n", package.toLocal8Bit().constData());
    std::fprintf(stderr, "%s: %lld packages, %lld information files\n", args[1].toLocal8Bit().constData(),
                 static_cast<long long>(publication.packages.size()),
                 static_cast<long long>(publication.informationFiles.size()));
    return 0;
}
