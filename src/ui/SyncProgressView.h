#pragma once

#include "ui/PanelFrame.h"

#include <optional>

class QLabel;
class QProgressBar;

namespace quaverly {

struct SyncJob;
struct TransferProgress;
class ElidedLabel;
class Spinner;
class SymbolView;

/// The state of one job on a panel: a status line (activity indicator or status symbol, and
/// text), a progress bar, and "N of M items" with the percentage done; below them, while files
/// are copied, the file being copied, the bytes copied of all, the speed and the time left.
/// Shows the job and the transfer given last and nothing else.
class SyncProgressView : public PanelFrame
{
    Q_OBJECT

public:
    /// The bar's resolution: its maximum stands for the whole job.
    static constexpr int barScale = 10000;

    explicit SyncProgressView(QWidget *parent = nullptr);

    void setJob(const SyncJob &job);
    /// The transfer figures; hidden without a transfer or when it has no bytes to copy.
    void setTransfer(const std::optional<TransferProgress> &transfer);


private:
    Spinner *m_spinner;
    SymbolView *m_statusSymbol;
    QLabel *m_statusText;
    QProgressBar *m_bar;
    QLabel *m_countText;
    QLabel *m_percentText;
    QWidget *m_transfer;
    QLabel *m_bytesText;
    QLabel *m_speedText;
    QLabel *m_timeLeftText;
    ElidedLabel *m_currentFileText;
};

} // namespace quaverly
