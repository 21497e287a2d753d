#include "ui/QuaverlyApp.h"

#include "coordinator/SyncCoordinator.h"
#include "ui/ContentView.h"

#include <QApplication>
#include <QEvent>
#include <QShortcut>

namespace quaverly {

QuaverlyApp::QuaverlyApp(QObject *parent)
    : QObject(parent)
{
    qApp->installEventFilter(this);
}

ContentView *QuaverlyApp::openWindow()
{
    auto *window = new ContentView;
    window->setAttribute(Qt::WA_DeleteOnClose);
    // The coordinator outlives its window while an operation holds it; its end is what counts.
    ++m_liveCoordinators;
    connect(window->coordinator().get(), &QObject::destroyed, this, &QuaverlyApp::coordinatorEnded);
    auto *newWindow = new QShortcut(QKeySequence::New, window);
    connect(newWindow, &QShortcut::activated, this, &QuaverlyApp::openWindow);
    window->show();
    return window;
}

void QuaverlyApp::coordinatorEnded()
{
    if (--m_liveCoordinators == 0)
        Q_EMIT finished();
}

bool QuaverlyApp::eventFilter(QObject *watched, QEvent *event)
{
    // A quit request from the platform must not cut a copy off half-way: close the windows and
    // let finished() end the process once the last run is over.
    if (watched == qApp && event->type() == QEvent::Quit && m_liveCoordinators > 0) {
        QApplication::closeAllWindows();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace quaverly
