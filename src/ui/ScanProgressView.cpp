#include "ui/ScanProgressView.h"

#include "engine/SyncPlan.h"
#include "ui/PanelProgressBar.h"
#include "ui/Spinner.h"
#include "ui/Theme.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QStyle>
#include <QTimerEvent>

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

constexpr int barScale = 1000;

} // namespace

ScanProgressView::ScanProgressView(QWidget *parent)
    : PanelFrame(parent)
    , m_elapsed(new QLabel)
{
    auto *spinner = new Spinner(0.7);
    spinner->setObjectName(u"scanProgressSpinner"_s);
    auto *title = new QLabel(u"Reading the libraries\u2026"_s);
    title->setObjectName(u"scanProgressTitle"_s);
    Theme::styleText(title, Theme::TextStyle::headline);
    m_elapsed->setObjectName(u"scanElapsed"_s);
    Theme::styleText(m_elapsed, Theme::TextStyle::monospacedCaption, Theme::Tint::secondary);
    auto *titleRow = new QHBoxLayout;
    titleRow->addWidget(spinner);
    titleRow->addWidget(title, 1);
    titleRow->addWidget(m_elapsed);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(6);
    grid->setColumnStretch(1, 1);
    const QString names[] = {u"Source"_s, u"Destination"_s};
    for (int i = 0; i < 2; ++i) {
        auto *name = new QLabel(names[i]);
        Theme::styleText(name, Theme::TextStyle::subheadline);
        Row &row = m_rows.at(size_t(i));
        row.bar = new PanelProgressBar;
        row.bar->setObjectName(i == 0 ? u"sourceScanBar"_s : u"destinationScanBar"_s);
        row.bar->setRange(0, barScale);
        row.bar->setTextVisible(false);
        row.bar->setAccessibleName(u"Reading the %1 library"_s.arg(names[i].toLower()));
        row.figures = new QLabel;
        row.figures->setObjectName(i == 0 ? u"sourceScanFigures"_s : u"destinationScanFigures"_s);
        Theme::styleText(row.figures, Theme::TextStyle::caption, Theme::Tint::secondary);
        grid->addWidget(name, i, 0);
        grid->addWidget(row.bar, i, 1);
        grid->addWidget(row.figures, i, 2, Qt::AlignRight);
    }

    auto *column = new QVBoxLayout(this);
    const int margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    column->setContentsMargins(margin, margin, margin, margin);
    column->setSpacing(12);
    column->addLayout(titleRow);
    column->addLayout(grid);
    setProgress({}, {}, 0);
}

QString ScanProgressView::elapsedText(qint64 milliseconds)
{
    const qint64 seconds = qMax<qint64>(0, milliseconds) / 1000;
    if (seconds >= 3600)
        return u"%1:%2:%3"_s.arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
            .arg(seconds % 60, 2, 10, QChar(u'0'));
    return u"%1:%2"_s.arg(seconds / 60).arg(seconds % 60, 2, 10, QChar(u'0'));
}

void ScanProgressView::setProgress(const File &source, const File &destination, qint64 elapsedMs)
{
    const File *files[] = {&source, &destination};
    for (size_t i = 0; i < 2; ++i) {
        const File &file = *files[i];
        Row &row = m_rows.at(i);
        // A size of 0 is an empty file or one whose size is not known yet: nothing to measure.
        const bool measured = file.size > 0;
        row.bar->setValue(measured ? int(qBound(qint64(0), file.bytesRead * barScale / file.size, qint64(barScale))) : 0);
        row.figures->setText(measured ? u"%1 of %2"_s.arg(formattedByteCount(file.bytesRead), formattedByteCount(file.size))
                                      : QString());
        row.bar->setAccessibleDescription(row.figures->text());
    }
    // A redraw for another reason hands over the same report; the clock keeps running from it.
    if (elapsedMs != m_reportedMs || !m_sinceReport.isValid()) {
        m_reportedMs = elapsedMs;
        m_sinceReport.start();
    }
    showElapsed();
}

void ScanProgressView::showElapsed()
{
    m_elapsed->setText(elapsedText(m_reportedMs + m_sinceReport.elapsed()));
}

void ScanProgressView::showEvent(QShowEvent *event)
{
    PanelFrame::showEvent(event);
    m_tick.start(250, this);
}

void ScanProgressView::hideEvent(QHideEvent *event)
{
    PanelFrame::hideEvent(event);
    m_tick.stop();
}

void ScanProgressView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_tick.timerId())
        showElapsed();
    else
        PanelFrame::timerEvent(event);
}

} // namespace quaverly
