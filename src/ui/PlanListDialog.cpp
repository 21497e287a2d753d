#include "ui/PlanListDialog.h"

#include "ui/Theme.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

QString listObjectName(PlanListModel::List list)
{
    switch (list) {
    case PlanListModel::List::tracksToAdd:
        return u"tracksToAddList"_s;
    case PlanListModel::List::tracksToRemove:
        return u"tracksToRemoveList"_s;
    case PlanListModel::List::metadataUpdates:
        return u"metadataUpdatesList"_s;
    case PlanListModel::List::playlists:
        return u"playlistsList"_s;
    }
    return {};
}

QString counted(qsizetype count, PlanListModel::List list)
{
    if (list == PlanListModel::List::playlists)
        return count == 1 ? u"1 playlist"_s : u"%1 playlists"_s.arg(count);
    return count == 1 ? u"1 track"_s : u"%1 tracks"_s.arg(count);
}

// Sorting 100,000 rows compares about 1.7 million pairs of cells, and comparing without regard
// to case folds both texts every time: the sorted column's texts are folded once, when the user
// asks for that order, and kept for as long as the list is open. The filter reads 400,000 cells;
// it asks the model for their text, not for a QVariant to convert, and looks for the typed text
// as it is, not through a regular expression.
class RowFilter : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setNeedle(const QString &needle)
    {
        if (needle == m_needle)
            return;
        m_needle = needle;
        invalidateRowsFilter();
    }

    void sort(int column, Qt::SortOrder order) override
    {
        if (column >= 0 && column != m_keyColumn && model().list() != PlanListModel::List::playlists) {
            const int rows = model().rowCount();
            m_keys.resize(rows);
            for (int row = 0; row < rows; ++row)
                m_keys[row] = model().text(row, column).toCaseFolded();
            m_keyColumn = column;
        }
        QSortFilterProxyModel::sort(column, order);
    }

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override
    {
        if (left.column() != m_keyColumn)
            return QSortFilterProxyModel::lessThan(left, right);
        return m_keys.at(left.row()) < m_keys.at(right.row());
    }

    bool filterAcceptsRow(int row, const QModelIndex &) const override
    {
        if (m_needle.isEmpty())
            return true;
        for (int column = 0; column < model().columnCount(); ++column) {
            if (model().text(row, column).contains(m_needle, Qt::CaseInsensitive))
                return true;
        }
        return false;
    }

private:
    const PlanListModel &model() const { return static_cast<const PlanListModel &>(*sourceModel()); }

    QString m_needle;
    int m_keyColumn = -1;
    QList<QString> m_keys;
};

// A path keeps its both ends, the folder it starts in and the file name; a title its beginning.
class ElidingDelegate : public QStyledItemDelegate
{
public:
    ElidingDelegate(int middleColumn, QObject *parent)
        : QStyledItemDelegate(parent)
        , m_middleColumn(middleColumn)
    {
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = index.column() == m_middleColumn ? Qt::ElideMiddle : Qt::ElideRight;
    }

private:
    int m_middleColumn;
};

// Named like the card that opens it, so the user sees where it came from.
QString title(PlanListModel::List list)
{
    switch (list) {
    case PlanListModel::List::tracksToAdd:
        return u"Tracks to Add"_s;
    case PlanListModel::List::tracksToRemove:
        return u"Tracks to Remove"_s;
    case PlanListModel::List::metadataUpdates:
        return u"Metadata Updates"_s;
    case PlanListModel::List::playlists:
        return u"Playlists"_s;
    }
    return {};
}

} // namespace

PlanListDialog::PlanListDialog(const SyncPlan &plan, PlanListModel::List list, QWidget *parent)
    : QDialog(parent)
    , m_jobId(plan.job.id)
    , m_model(new PlanListModel(plan, list, this))
    , m_proxy(new RowFilter(this))
    , m_filter(new QLineEdit)
    , m_filterDelay(new QTimer(this))
    , m_count(new QLabel)
    , m_table(new QTreeView)
{
    setObjectName(listObjectName(list));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(title(list));

    m_proxy->setSourceModel(m_model);
    m_proxy->setSortCaseSensitivity(Qt::CaseInsensitive);

    m_filter->setObjectName(u"listFilter"_s);
    m_filter->setPlaceholderText(u"Filter"_s);
    m_filter->setClearButtonEnabled(true);
    m_filter->setAccessibleName(u"Filter the list"_s);
    m_count->setObjectName(u"listCount"_s);
    m_count->setTextFormat(Qt::PlainText);
    // A window of its own does not get the main window's readable secondary colour; the plain
    // text colour keeps the count readable in any palette.
    Theme::styleText(m_count, Theme::TextStyle::caption);

    // Every row is one line of plain text, so the view can take one row's height for all and
    // never measure the 100,000th; column widths are set, never fitted to the contents.
    m_table->setObjectName(u"listTable"_s);
    m_table->setRootIsDecorated(false);
    m_table->setItemsExpandable(false);
    m_table->setUniformRowHeights(true);
    m_table->setAllColumnsShowFocus(true);
    m_table->setAlternatingRowColors(true);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    const bool withFiles = list == PlanListModel::List::tracksToAdd || list == PlanListModel::List::tracksToRemove;
    m_table->setItemDelegate(new ElidingDelegate(withFiles ? 3 : -1, m_table));
    m_table->setModel(m_proxy);
    QHeaderView *header = m_table->header();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    // Plan order until the user picks a column: sorting 100,000 rows is not worth doing unasked.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    m_table->setSortingEnabled(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(m_filter, 1);
    filterRow->addWidget(m_count);
    auto *column = new QVBoxLayout(this);
    column->addLayout(filterRow);
    column->addWidget(m_table, 1);
    column->addWidget(buttons);

    resize(760, 460);
    layout()->activate();
    const int width = m_table->viewport()->width();
    if (list == PlanListModel::List::playlists) {
        header->resizeSection(0, width * 3 / 4);
    } else {
        const int share = list == PlanListModel::List::metadataUpdates ? width / 3 : width * 5 / 24;
        for (int section = 0; section < m_model->columnCount() - 1; ++section)
            header->resizeSection(section, share);
    }

    // Filtering reads every row; waiting for a pause in the typing does that once per word, not
    // once per key.
    m_filterDelay->setSingleShot(true);
    m_filterDelay->setInterval(150);
    connect(m_filter, &QLineEdit::textChanged, m_filterDelay, qOverload<>(&QTimer::start));
    connect(m_filterDelay, &QTimer::timeout, this,
            [this] { static_cast<RowFilter *>(m_proxy)->setNeedle(m_filter->text()); });
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_proxy, signal, this, &PlanListDialog::updateCount);
    connect(m_proxy, &QAbstractItemModel::modelReset, this, &PlanListDialog::updateCount);
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this, &PlanListDialog::updateCount);
    updateCount();
}

void PlanListDialog::updateCount()
{
    const int all = m_model->rowCount();
    const int shown = m_proxy->rowCount();
    const PlanListModel::List list = m_model->list();
    m_count->setText(shown == all ? counted(all, list) : u"%1 of %2"_s.arg(shown).arg(counted(all, list)));
}

} // namespace quaverly
