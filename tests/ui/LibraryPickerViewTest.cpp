#include "ui/ElidedLabel.h"
#include "ui/LibraryPickerView.h"
#include "UiTestSupport.h"

#include <QFileDialog>
#include <QFontInfo>

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
    EXPECT_TRUE(QFontInfo(path.font()).fixedPitch());
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
    EXPECT_EQ(dialog.nameFilters(), (QStringList{u"XML files (*.xml)"_s, u"Property lists (*.plist)"_s}));

    picker.setChoosingDisabled(true);
    EXPECT_FALSE(child<QPushButton>(picker, "chooseButton").isEnabled());
    EXPECT_TRUE(path.isEnabled());
}

} // namespace
