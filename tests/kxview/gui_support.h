// Helpers the widget tests share.
#pragma once

#include <QtTest>

namespace kxtest {

/// A user's double-click at `pos`: QTest::mouseDClick sends only the second click's events, so the first
/// click comes before it, as it does from a real mouse.
inline void doubleClick(QWidget* widget, const QPoint& pos) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, pos);
}

}  // namespace kxtest
