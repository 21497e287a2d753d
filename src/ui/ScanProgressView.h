#pragma once

#include "ui/PanelFrame.h"

#include <QBasicTimer>
#include <QElapsedTimer>

#include <array>

class QLabel;
class QProgressBar;

namespace quaverly {

/// The two libraries being read, on a panel: an activity indicator and the time so far, then for
/// each file a bar and how much of it has been read (the pickers above name the files). The time keeps counting between
/// reports, so a read that stalls on a slow volume still shows the time passing.
class ScanProgressView : public PanelFrame
{
    Q_OBJECT

public:
    /// How far the read of one library file got.
    struct File
    {
        qint64 bytesRead = 0;
        qint64 size = 0;
    };

    explicit ScanProgressView(QWidget *parent = nullptr);

    /// Shows both files as reported `elapsedMs` after the scan began.
    void setProgress(const File &source, const File &destination, qint64 elapsedMs);

    /// "0:07": minutes and seconds, hours in front from the first hour on.
    [[nodiscard]] static QString elapsedText(qint64 milliseconds);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    void showElapsed();

    struct Row
    {
        QProgressBar *bar;
        QLabel *figures;
    };
    std::array<Row, 2> m_rows;
    QLabel *m_elapsed;
    qint64 m_reportedMs = 0;
    QElapsedTimer m_sinceReport;
    QBasicTimer m_tick;
};

} // namespace quaverly
