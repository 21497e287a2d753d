#pragma once

#include <QPushButton>

namespace quaverly {

/// A push button in one of the window's two accent styles. Its colours are taken from the palette
/// each time it paints, so it follows palette changes by itself, and it draws a ring while it has
/// the keyboard focus, which the plain style leaves out for filled and flat buttons.
class AccentButton : public QPushButton
{
    Q_OBJECT

public:
    enum class Kind {
        /// The phase's main action: filled with the accent while enabled, the default button;
        /// disabled it looks like any other disabled button.
        prominent,
        /// A secondary action: no frame, the label in the accent colour.
        borderless,
    };

    explicit AccentButton(Kind kind, const QString &text = {}, QWidget *parent = nullptr);

    [[nodiscard]] Kind kind() const { return m_kind; }

    /// The label's colour and the colour behind it in `palette`, for an enabled button.
    [[nodiscard]] std::pair<QColor, QColor> colors(const QPalette &palette) const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Kind m_kind;
};

} // namespace quaverly
