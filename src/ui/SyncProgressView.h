#pragma once

#include "ui/PanelFrame.h"

class QLabel;
class QProgressBar;

namespace quaverly {

struct SyncJob;
class Spinner;
class SymbolView;

/// The state of one job on a panel: a status line (activity indicator or status symbol, and
/// text), a progress bar, and "N of M items" with the percentage done. Shows the job given
/// last and nothing else.
class SyncProgressView : public PanelFrame
{
    Q_OBJECT

public:
    /// The bar's resolution: its maximum stands for the whole job.
    static constexpr int barScale = 10000;

    explicit SyncProgressView(QWidget *parent = nullptr);

    void setJob(const SyncJob &job);

    /// completed × 100 / total in integers, truncated; 0 without a positive total.
    [[nodiscard]] static qint64 percentDone(qint64 completed, qint64 total);

protected:
    void changeEvent(QEvent *event) override;

private:
    void tintBarGroove();

    Spinner *m_spinner;
    SymbolView *m_statusSymbol;
    QLabel *m_statusText;
    QProgressBar *m_bar;
    QLabel *m_countText;
    QLabel *m_percentText;
};

} // namespace quaverly
