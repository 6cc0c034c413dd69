// Watching how often a widget is painted while work goes on, for tests and benchmarks of dialogs that must
// stay responsive.
#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QWidget>

namespace kxtest {

/// Counts paint events of a widget and the longest pause between two of them.
class PaintClock : public QObject {
public:
    explicit PaintClock(QWidget* watched) { watched->installEventFilter(this); }
    qint64 longestGapMs() const { return m_longest; }
    int paints() const { return m_paints; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            if (m_clock.isValid())
                m_longest = qMax(m_longest, m_clock.restart());
            else
                m_clock.start();
            ++m_paints;
        }
        return false;
    }

private:
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
    int m_paints = 0;
};

}  // namespace kxtest
