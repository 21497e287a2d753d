#pragma once

#include <QWidget>

class QLabel;

namespace quaverly {

class AccentButton;

/// A failure on a faint red rounded band, with a warning symbol before it and "Dismiss" at its
/// trailing end: what it is about, when it is about something ("Source library"), one sentence
/// of what to try, and the failure's own message, verbatim and wrapped. Assistive technology
/// knows it as an alert and is told each time a new failure is shown.
class ErrorBanner : public QWidget
{
    Q_OBJECT

public:
    explicit ErrorBanner(QWidget *parent = nullptr);

    /// Shows a failure; an empty `subject` or `advice` leaves its line out.
    void setFailure(const QString &subject, const QString &advice, const QString &message);
    [[nodiscard]] QString message() const;

Q_SIGNALS:
    void dismissed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void announce();

    QLabel *m_subject;
    QLabel *m_advice;
    QLabel *m_message;
    AccentButton *m_dismissButton;
};

} // namespace quaverly
