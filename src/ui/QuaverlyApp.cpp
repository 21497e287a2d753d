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
    connect(new QShortcut(QKeySequence::New, window), &QShortcut::activated, this, &QuaverlyApp::openWindow);
    connect(new QShortcut(QKeySequence::Close, window), &QShortcut::activated, window, &QWidget::close);
    // Each window asks before stopping its sync; one that is kept ends the quit there.
    auto *quit = new QShortcut(window);
    quit->setKeys(quitKeys());
    connect(quit, &QShortcut::activated, this, [] { QApplication::closeAllWindows(); });
    window->show();
    return window;
}

// Some platforms bind no key to Quit; Ctrl+Q is what people try there.
QList<QKeySequence> QuaverlyApp::quitKeys()
{
    QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Quit);
    if (keys.isEmpty())
        keys.append(QKeySequence(Qt::CTRL | Qt::Key_Q));
    return keys;
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
