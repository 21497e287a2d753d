#include "ui/ElidedLabel.h"
#include "ui/LibraryPickerView.h"
#include "ui/Theme.h"
#include "UiTestSupport.h"

#include <QFileDialog>
#include <QMimeData>
#include <QStandardPaths>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;

namespace {

// One picker through its life, bound to a value the test owns as the window binds it to its coordinator.
TEST(LibraryPickerViewTest, ShowsPlaceholderOrElidedPathAndKeepsTheChoiceWhenTheDialogIsCancelled)
{
    LibraryPickerView picker(u"Destination Library"_s);
    std::optional<QUrl> bound, answer;
    QList<LibraryPickerView::DialogRequest> requests;
    QObject::connect(&picker, &LibraryPickerView::libraryChosen, &picker, [&](const QUrl &url) {
        bound = url;
        picker.setSelectedURL(bound);
    });
    picker.setFileDialog([&](QWidget *, const LibraryPickerView::DialogRequest &request) {
        requests.append(request);
        return answer;
    });
    picker.resize(500, picker.sizeHint().height());
    picker.show();
    const auto &placeholder = child<QLabel>(picker, "placeholderLabel");
    const auto &path = child<ElidedLabel>(picker, "pathLabel");
    EXPECT_TRUE(placeholder.isVisible() && !path.isVisible());
    EXPECT_EQ(placeholder.text(), u"No library selected"_s);

    const QString longPath =
        u"/Volumes/Archive Drive/Exported Libraries/From the studio computer/2024 before the move/Music Library.xml"_s;
    answer = QUrl::fromLocalFile(longPath);
    click(picker, "chooseButton");
    EXPECT_EQ(bound, answer);
    ASSERT_TRUE(path.isVisible() && !placeholder.isVisible());
    EXPECT_EQ(path.fullText(), longPath);
    EXPECT_EQ(path.font(), Theme::font(Theme::TextStyle::monospacedCaption));
    picker.resize(360, picker.height());
    QCoreApplication::processEvents();
    EXPECT_TRUE(path.text().startsWith(u"/Vol"_s) && path.text().contains(QChar(0x2026))
                && path.text().endsWith(u"Music Library.xml"_s)) << path.text().toStdString();
    EXPECT_LE(picker.minimumSizeHint().width(), 360);
    picker.resize(path.sizeHint().width() + 200, picker.height());
    QCoreApplication::processEvents();
    EXPECT_EQ(path.text(), longPath);

    answer.reset();
    click(picker, "chooseButton");
    EXPECT_EQ(bound, QUrl::fromLocalFile(longPath));

    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].title, u"Select Music Library XML"_s);
    EXPECT_EQ(requests[0].message, u"Choose the 'Music Library.xml' file for Destination Library"_s);
    QFileDialog dialog;
    LibraryPickerView::configureFileDialog(dialog, requests[0]);
    EXPECT_EQ(dialog.windowTitle(), requests[0].title);
    EXPECT_EQ(dialog.labelText(QFileDialog::FileName), requests[0].message);
    EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog.nameFilters(),
              (QStringList{u"XML files (*.xml)"_s, u"Property lists (*.plist)"_s, u"All files (*)"_s}));
    EXPECT_EQ(requests[0].folder, QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
    picker.setStartFolder(u"/Volumes/Archive Drive"_s);
    EXPECT_EQ(picker.dialogRequest().folder, u"/Volumes/Archive Drive"_s);

    picker.setChoosingDisabled(true);
    EXPECT_FALSE(child<QPushButton>(picker, "chooseButton").isEnabled());
    EXPECT_TRUE(path.isEnabled());
}

// A file dropped on the row is chosen; a folder, several files or a drop while choosing is
// disabled are refused.
TEST(LibraryPickerViewTest, TakesOneDroppedFile)
{
    LibraryPickerView picker(u"Source Library"_s);
    std::optional<QUrl> chosen;
    QObject::connect(&picker, &LibraryPickerView::libraryChosen, &picker, [&](const QUrl &url) { chosen = url; });
    const QUrl file = QUrl::fromLocalFile(QCoreApplication::applicationFilePath());
    const QUrl folder = QUrl::fromLocalFile(QCoreApplication::applicationDirPath());
    const auto drop = [&](const QList<QUrl> &urls) {
        chosen.reset();
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&picker, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&picker, &dropped);
        return true;
    };
    EXPECT_TRUE(drop({file}));
    EXPECT_EQ(chosen, file);
    EXPECT_FALSE(drop({folder}));
    EXPECT_FALSE(drop({file, file}));
    EXPECT_EQ(child<QPushButton>(picker, "chooseButton").accessibleName(), u"Choose Source Library\u2026"_s);
    picker.setChoosingDisabled(true);
    EXPECT_FALSE(picker.acceptDrops());
}

} // namespace
