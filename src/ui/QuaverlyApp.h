#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>

namespace quaverly {

class ContentView;

/// The application shell: opens windows, each a ContentView with its own coordinator, and
/// announces finished() once no window is open and no coordinator is left. A window closed
/// during a scan or sync leaves its coordinator alive until that operation ends, so the process
/// outlives the window exactly as long as the run; during a sync the window first asks whether to
/// stop it, and stays open, its sync running, when the user keeps it. A platform quit request
/// closes the windows, each asking the same, and waits for running operations the same way; a
/// window that is kept ends the quit.
class QuaverlyApp : public QObject
{
    Q_OBJECT

public:
    explicit QuaverlyApp(QObject *parent = nullptr);

    /// A new window at its default size, shown; it is deleted when closed.
    ContentView *openWindow();

    /// The keys that quit: the platform's, or Ctrl+Q where it has none.
    [[nodiscard]] static QList<QKeySequence> quitKeys();

    /// Coordinators alive: one per open window plus those still running for a closed one.
    [[nodiscard]] int liveCoordinatorCount() const { return m_liveCoordinators; }

Q_SIGNALS:
    /// Nothing is open and nothing runs: the process may end.
    void finished();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void coordinatorEnded();

    int m_liveCoordinators = 0;
};

} // namespace quaverly
