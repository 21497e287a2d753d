#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace quaverly {

/// A failure's message, verbatim and wrapped, on a faint red rounded band, with a warning symbol
/// before it and "Dismiss" at its trailing end.
class ErrorBanner : public QWidget
{
    Q_OBJECT

public:
    explicit ErrorBanner(QWidget *parent = nullptr);

    void setMessage(const QString &message);
    [[nodiscard]] QString message() const;

Q_SIGNALS:
    void dismissed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QLabel *m_message;
    QPushButton *m_dismissButton;
};

} // namespace quaverly
