#pragma once

#include <QLabel>
#include <QString>

namespace quaverly {

/// One line of plain text, shown whole when it fits and with its middle elided otherwise, so
/// that both ends stay visible; elided afresh at every resize. The full text is the tooltip.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    void setFullText(const QString &text);
    [[nodiscard]] const QString &fullText() const { return m_fullText; }

    /// Wide enough for the whole text; the layout may give less.
    [[nodiscard]] QSize sizeHint() const override;
    /// Room for an ellipsis only, so that a long text never widens the window.
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void elide();

    QString m_fullText;
};

} // namespace quaverly
