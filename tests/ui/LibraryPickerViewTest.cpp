#include "ui/ElidedLabel.h"
#include "ui/LibraryPickerView.h"
#include "UiTestSupport.h"

#include <QFileDialog>
#include <QMimeData>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;

namespace {

// One picker through its life, bound to a value the test owns as the window binds it to its coordinator.
TEST(LibraryPickerViewTest, ShowsPlaceholderOrElidedPathAndKeepsTheChoiceWhenTheDialogIsCancelled)
{
    LibraryPickerView picker(u"Destination Library"_s);
    std::optional<QUrl> bound, answer;
    QObject::connect(&picker, &LibraryPickerView::libraryChosen, &picker, [&](const QUrl &url) {
        bound = url;
        picker.setSelectedURL(bound);
    });
    picker.setFileDialog([&](QWidget *, const LibraryPickerView::DialogRequest &) { return answer; });
    picker.resize(500, picker.sizeHint().height());
    picker.show();
    const auto &placeholder = child<QLabel>(picker, "placeholderLabel");
    const auto &path = child<ElidedLabel>(picker, "pathLabel");
    EXPECT_TRUE(placeholder.isVisible() && !path.isVisible());

    const QString longPath =
        u"/Volumes/Archive Drive/Exported Libraries/From the studio computer/2024 before the move/Music Library.xml"_s;
    answer = QUrl::fromLocalFile(longPath);
    click(picker, "chooseButton");
    ASSERT_TRUE(path.isVisible() && !placeholder.isVisible());
    // Narrow, the path keeps its start and its file name.
    picker.resize(360, picker.height());
    QCoreApplication::processEvents();
    EXPECT_TRUE(path.text().startsWith(u"/Vol"_s) && path.text().contains(QChar(0x2026))
                && path.text().endsWith(u"Music Library.xml"_s)) << path.text().toStdString();

    answer.reset();
    click(picker, "chooseButton");
    EXPECT_EQ(bound, QUrl::fromLocalFile(longPath));

    QFileDialog dialog;
    LibraryPickerView::configureFileDialog(dialog, picker.dialogRequest());
    EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog.nameFilters(),
              (QStringList{u"XML files (*.xml)"_s, u"Property lists (*.plist)"_s, u"All files (*)"_s}));
}

// A file dropped on the row is chosen; a folder, several files or a drop while choosing is
// disabled are refused.
TEST(LibraryPickerViewTest, TakesOneDroppedFile)
{
    LibraryPickerView picker(u"Source Library"_s);
    std::optional<QUrl> chosen;
    QObject::connect(&picker, &LibraryPickerView::libraryChosen, &picker, [&](const QUrl &url) { chosen = url; });
    const QUrl file = QUrl::fromLocalFile(QCoreApplication::applicationFilePath());
    const auto drop = [&](const QList<QUrl> &urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&picker, &enter);
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&picker, &dropped);
        return enter.isAccepted();
    };
    EXPECT_TRUE(drop({file}));
    EXPECT_EQ(chosen, file);
    EXPECT_FALSE(drop({QUrl::fromLocalFile(QCoreApplication::applicationDirPath())}));
    EXPECT_FALSE(drop({file, file}));
    picker.setChoosingDisabled(true);
    EXPECT_FALSE(picker.acceptDrops());
}

} // namespace
