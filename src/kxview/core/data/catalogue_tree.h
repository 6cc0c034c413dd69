// What the catalogue helpers need of a tree control loaded from a catalogue's Index table.
#pragma once

#include <QtGlobal>
#include "kxview/kxview_core_export.h"

namespace kx {

/// What the catalogue helpers need of a tree control loaded from a catalogue's Index table: nodes
/// addressed by a 1-based index, each identified by its row's ID, with an image and a selected image.
class KXVIEW_CORE_EXPORT CatalogueTreeNodes {
public:
    virtual ~CatalogueTreeNodes() = default;
    /// The number of nodes; 0 for an empty tree.
    virtual qint16 NodeCount() const = 0;
    /// The ID of the row behind node `index` (1-based).
    virtual qint16 NodeID(qint16 index) const = 0;
    /// The tree's normal node image.
    virtual qint16 NodeImage() const = 0;
    /// Sets the image and the selected image of node `index`.
    virtual void SetNodeImages(qint16 index, qint16 image) = 0;
};

}  // namespace kx
