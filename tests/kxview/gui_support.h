// Helpers the widget tests share.
#pragma once

#include <QAbstractItemModel>
#include <QTreeView>
#include <QtTest>
#include <functional>

#include "widgets/controls/kxtree.h"

namespace kxtest {

/// A user's double-click at `pos`: QTest::mouseDClick sends only the second click's events, so the first
/// click comes before it, as it does from a real mouse.
inline void doubleClick(QWidget* widget, const QPoint& pos) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, pos);
}

/// The view of a KXTree.
inline QTreeView* treeView(kx::KXTree& tree) {
    return tree.findChild<QTreeView*>(QStringLiteral("treeView"));
}

/// The model index of the tree node at a 1-based index in collection order (the order a freshly loaded
/// tree numbers its nodes: depth first, parents first).
inline QModelIndex treeNodeIndex(kx::KXTree& tree, qint16 index) {
    QAbstractItemModel* model = treeView(tree)->model();
    QList<QModelIndex> preorder;
    std::function<void(QModelIndex)> walk = [&](QModelIndex parent) {
        for (int r = 0; r < model->rowCount(parent); ++r) {
            const QModelIndex child = model->index(r, 0, parent);
            preorder << child;
            walk(child);
        }
    };
    walk({});
    return preorder.value(index - 1);
}

}  // namespace kxtest
