#pragma once

#include "ui/PlanListModel.h"

#include <QDialog>
#include <QUuid>

class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTimer;
class QTreeView;

namespace quaverly {

/// A window listing one of a plan's lists: a filter field, how many rows it shows, and the
/// table, sorted by any column on request and otherwise in plan order. Non-modal; it deletes
/// itself when closed. It keeps the list it was opened with; its owner closes it when the plan
/// it came from is gone.
class PlanListDialog : public QDialog
{
    Q_OBJECT

public:
    PlanListDialog(const SyncPlan &plan, PlanListModel::List list, QWidget *parent);

    /// The job of the plan the list came from.
    [[nodiscard]] QUuid jobId() const { return m_jobId; }
    /// What the table shows: the plan's list, filtered and sorted.
    [[nodiscard]] QSortFilterProxyModel &rows() const { return *m_proxy; }

private:
    void updateCount();

    QUuid m_jobId;
    PlanListModel *m_model;
    QSortFilterProxyModel *m_proxy;
    QLineEdit *m_filter;
    QTimer *m_filterDelay;
    QLabel *m_count;
    QTreeView *m_table;
};

} // namespace quaverly
