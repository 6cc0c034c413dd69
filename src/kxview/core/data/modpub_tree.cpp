#include "core/data/modpub_tree.h"

#include "core/data/modpub_db.h"
#include "core/data/untrusted_names.h"
#include "core/io/filesystem.h"

namespace modPub_Tree {

void MarkUninstalledNodes(const QString& Path, const QString& DBName, kx::CatalogueTreeNodes& Tree) {
    auto catalogue = modPub_DB::OpenDB(Path + DBName);
    const qint16 count = Tree.NodeCount();
    for (int k = 1; k <= count; ++k) {
        auto entry = catalogue->OpenRecordset(QStringLiteral("SELECT * FROM Index WHERE ID=") +
                                              QString::number(Tree.NodeID(static_cast<qint16>(k))));
        if (entry->RecordCount() == 0) continue;
        const QString file = entry->Text(QStringLiteral("WithFileName"));
        if (file.isEmpty()) continue;
        // A name that may not be looked up in the folder counts as a file that is not there.
        const kx::NameInFolder placed = kx::untrustedNameInFolder(Path, file);
        const bool installed = placed.accepted() && kx::fs::isFile(placed.path);
        Tree.SetNodeImages(static_cast<qint16>(k), installed ? Tree.NodeImage() : kNotInstalledImage);
    }
    catalogue->Close();
}

}  // namespace modPub_Tree
