#include "ui/SyncProgressView.h"

#include "engine/SyncEngine.h"
#include "engine/SyncJob.h"
#include "ui/ElidedLabel.h"
#include "ui/PanelProgressBar.h"
#include "ui/Spinner.h"
#include "ui/SymbolView.h"
#include "ui/Theme.h"

#include <QBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QStyle>

#include <cmath>

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

using Status = SyncJob::SyncStatus;

struct StatusLine
{
    QString text;
    /// Empty for the activity indicator.
    QString symbol;
    Theme::Tint tint = Theme::Tint::primary;
};

StatusLine statusLine(Status status)
{
    switch (status) {
    case Status::pending:
        return {u"Waiting to start\u2026"_s, {}};
    case Status::scanning:
        return {u"Scanning libraries\u2026"_s, {}};
    case Status::transferring:
        return {u"Transferring files\u2026"_s, {}};
    case Status::completed:
        return {u"Sync complete"_s, u"checkmark.circle.fill"_s, Theme::Tint::green};
    case Status::failed:
        return {u"Sync failed"_s, u"xmark.circle.fill"_s, Theme::Tint::red};
    case Status::cancelled:
        return {u"Sync cancelled"_s, u"stop.circle.fill"_s, Theme::Tint::orange};
    }
    return {u"Waiting to start\u2026"_s, {}};
}

// The fraction done on the bar's integer scale. The bar drops values outside its range instead
// of showing them, so a count beyond the total is shown full; a job with nothing to do is complete.
int barValue(qint64 completed, qint64 total)
{
    if (total < 1)
        return SyncProgressView::barScale;
    const double fraction = static_cast<double>(completed) / static_cast<double>(total);
    return static_cast<int>(std::lround(qBound(0.0, fraction, 1.0) * SyncProgressView::barScale));
}

// Minutes to the nearest one: the estimate is no finer than that.
QString timeLeftText(qint64 seconds)
{
    if (seconds < 60)
        return u"less than a minute left"_s;
    return u"about %1 min left"_s.arg((seconds + 30) / 60);
}

} // namespace

SyncProgressView::SyncProgressView(QWidget *parent)
    : PanelFrame(parent)
    , m_spinner(new Spinner(0.7))
    , m_statusSymbol(new SymbolView(u"checkmark.circle.fill"_s, Theme::Tint::green, Theme::TextStyle::headline))
    , m_statusText(new QLabel)
    , m_bar(new PanelProgressBar)
    , m_countText(new QLabel)
    , m_percentText(new QLabel)
    , m_transfer(new QWidget)
    , m_bytesText(new QLabel)
    , m_speedText(new QLabel)
    , m_timeLeftText(new QLabel)
    , m_currentFileText(new ElidedLabel)
{
    m_spinner->setObjectName(u"statusSpinner"_s);
    m_statusSymbol->setObjectName(u"statusSymbol"_s);
    m_statusText->setObjectName(u"statusText"_s);
    Theme::styleText(m_statusText, Theme::TextStyle::headline);
    m_bar->setObjectName(u"progressBar"_s);
    m_bar->setRange(0, barScale);
    m_bar->setTextVisible(false);
    m_bar->setAccessibleName(u"Sync progress"_s);
    m_countText->setObjectName(u"countText"_s);
    Theme::styleText(m_countText, Theme::TextStyle::caption, Theme::Tint::secondary);
    m_percentText->setObjectName(u"percentText"_s);
    Theme::styleText(m_percentText, Theme::TextStyle::monospacedCaption, Theme::Tint::secondary);

    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(m_spinner);
    statusRow->addWidget(m_statusSymbol);
    statusRow->addWidget(m_statusText, 1);

    auto *countRow = new QHBoxLayout;
    countRow->addWidget(m_countText);
    countRow->addStretch();
    countRow->addWidget(m_percentText);

    m_transfer->setObjectName(u"transferFigures"_s);
    m_bytesText->setObjectName(u"bytesText"_s);
    m_speedText->setObjectName(u"speedText"_s);
    m_timeLeftText->setObjectName(u"timeLeftText"_s);
    m_currentFileText->setObjectName(u"currentFileText"_s);
    for (QLabel *label : {m_bytesText, m_speedText, m_timeLeftText, static_cast<QLabel *>(m_currentFileText)})
        Theme::styleText(label, Theme::TextStyle::caption, Theme::Tint::secondary);
    // One line, so the window grows by no more than that while it syncs: the file name takes
    // what the figures leave and gives up its middle first.
    auto *transferRow = new QHBoxLayout(m_transfer);
    transferRow->setContentsMargins(0, 0, 0, 0);
    transferRow->setSpacing(12);
    transferRow->addWidget(m_currentFileText, 1);
    transferRow->addWidget(m_bytesText);
    transferRow->addWidget(m_speedText);
    transferRow->addWidget(m_timeLeftText);

    auto *column = new QVBoxLayout(this);
    const int margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    column->setContentsMargins(margin, margin, margin, margin);
    column->setSpacing(12);
    column->addLayout(statusRow);
    column->addWidget(m_bar);
    column->addLayout(countRow);
    column->addWidget(m_transfer);

    setJob(SyncJob{});
    setTransfer(std::nullopt);
}

void SyncProgressView::setJob(const SyncJob &job)
{
    const StatusLine line = statusLine(job.status);
    const bool busy = line.symbol.isEmpty();
    m_spinner->setVisible(busy);
    m_statusSymbol->setVisible(!busy);
    if (!busy)
        m_statusSymbol->setSymbol(line.symbol, line.tint);
    m_statusText->setText(line.text);

    m_bar->setValue(barValue(job.completedItemCount, job.totalItemCount));
    m_countText->setText(u"%1 of %2 items"_s.arg(job.completedItemCount).arg(job.totalItemCount));
    m_percentText->setText(QString::number(job.percentDone()) + u'%');
    m_bar->setAccessibleDescription(m_percentText->text() + u", "_s + m_countText->text());
}

void SyncProgressView::setTransfer(const std::optional<TransferProgress> &transfer)
{
    const bool shown = transfer && transfer->bytesTotal > 0;
    m_transfer->setVisible(shown);
    if (!shown)
        return;
    m_bytesText->setText(
        u"%1 of %2"_s.arg(formattedByteCount(transfer->bytesDone), formattedByteCount(transfer->bytesTotal)));
    // Once the copies are done, what is left of the run is not measured in bytes.
    const bool copying = !transfer->currentFile.isEmpty();
    const std::optional<double> speed = transfer->bytesPerSecond();
    const std::optional<qint64> left = transfer->secondsLeft();
    m_speedText->setText(copying && speed ? u"%1/s"_s.arg(formattedByteCount(qint64(*speed))) : QString());
    m_timeLeftText->setText(copying && left ? timeLeftText(*left) : QString());
    // An empty label would still take its spacing and push the bytes away from the edge.
    m_speedText->setVisible(!m_speedText->text().isEmpty());
    m_timeLeftText->setVisible(!m_timeLeftText->text().isEmpty());
    m_currentFileText->setFullText(transfer->currentFile.mid(transfer->currentFile.lastIndexOf(u'/') + 1));
}

} // namespace quaverly
