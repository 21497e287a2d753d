#include "ui/ElidedLabel.h"
#include "ui/LibraryPickerView.h"
#include "ui/Theme.h"
#include "UiTestSupport.h"

#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;

namespace {

const QString longPath =
    u"/Volumes/Archive Drive/Exported Libraries/From the studio computer/2024 before the move/Music Library.xml"_s;

// A picker bound to a value the test owns, as the window binds it to its coordinator.
class LibraryPickerViewTest : public ::testing::Test
{
protected:
    LibraryPickerViewTest()
    {
        QObject::connect(&picker, &LibraryPickerView::libraryChosen, &picker, [this](const QUrl &url) {
            bound = url;
            picker.setSelectedURL(bound);
        });
        picker.setFileDialog([this](QWidget *, const LibraryPickerView::DialogRequest &request) {
            requests.append(request);
            return dialogAnswer;
        });
        picker.resize(500, picker.sizeHint().height());
        picker.show();
    }

    void clickChoose()
    {
        auto *button = child<QPushButton>(&picker, "chooseButton");
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    LibraryPickerView picker{u"Destination Library"_s};
    std::optional<QUrl> bound;
    std::optional<QUrl> dialogAnswer;
    QList<LibraryPickerView::DialogRequest> requests;
};

TEST_F(LibraryPickerViewTest, ShowsTheSecondaryPlaceholderWithoutASelection)
{
    auto *placeholder = child<QLabel>(&picker, "placeholderLabel");
    auto *path = child<ElidedLabel>(&picker, "pathLabel");
    auto *label = child<QLabel>(&picker, "pickerLabel");
    auto *button = child<QPushButton>(&picker, "chooseButton");
    ASSERT_TRUE(placeholder && path && label && button);
    EXPECT_EQ(label->text(), u"Destination Library"_s);
    EXPECT_TRUE(placeholder->isVisible());
    EXPECT_EQ(placeholder->text(), u"No library selected"_s);
    EXPECT_EQ(placeholder->foregroundRole(), Theme::textRole(Theme::Tint::secondary));
    EXPECT_FALSE(path->isVisible());
    EXPECT_EQ(button->text(), u"Choose\u2026"_s);
    EXPECT_TRUE(button->isEnabled());
}

TEST_F(LibraryPickerViewTest, ShowsTheFullPathInMonospaceAndElidesItsMiddleWhenNarrow)
{
    picker.setSelectedURL(QUrl::fromLocalFile(longPath));
    auto *path = child<ElidedLabel>(&picker, "pathLabel");
    auto *placeholder = child<QLabel>(&picker, "placeholderLabel");
    ASSERT_TRUE(path && placeholder);
    EXPECT_FALSE(placeholder->isVisible());
    ASSERT_TRUE(path->isVisible());
    EXPECT_EQ(path->fullText(), longPath);
    EXPECT_EQ(path->foregroundRole(), QPalette::WindowText);
    EXPECT_TRUE(QFontInfo(path->font()).fixedPitch());

    picker.resize(360, picker.height());
    QCoreApplication::processEvents();
    EXPECT_TRUE(path->text().contains(QChar(0x2026))) << path->text().toStdString();
    EXPECT_TRUE(path->text().startsWith(u"/Vol"_s));
    EXPECT_TRUE(path->text().endsWith(u"Music Library.xml"_s));
    EXPECT_LE(picker.minimumSizeHint().width(), 360);

    picker.resize(path->sizeHint().width() + 200, picker.height());
    QCoreApplication::processEvents();
    EXPECT_EQ(path->text(), longPath);
}

TEST_F(LibraryPickerViewTest, WritesTheChosenFileAndKeepsItWhenTheDialogIsCancelled)
{
    QSignalSpy chosen(&picker, &LibraryPickerView::libraryChosen);
    const QUrl first = QUrl::fromLocalFile(u"/music/one/Music Library.xml"_s);
    dialogAnswer = first;
    clickChoose();
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(bound, first);

    dialogAnswer.reset();
    clickChoose();
    EXPECT_EQ(chosen.count(), 1);
    EXPECT_EQ(bound, first);
    auto *path = child<ElidedLabel>(&picker, "pathLabel");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->fullText(), u"/music/one/Music Library.xml"_s);
    EXPECT_EQ(requests.size(), 2);
}

TEST_F(LibraryPickerViewTest, AsksForOneXmlOrPropertyListFileNamingItsLabel)
{
    clickChoose();
    ASSERT_EQ(requests.size(), 1);
    const LibraryPickerView::DialogRequest &request = requests.first();
    EXPECT_EQ(request.title, u"Select Music Library XML"_s);
    EXPECT_EQ(request.message, u"Choose the 'Music Library.xml' file for Destination Library"_s);

    QFileDialog dialog;
    LibraryPickerView::configureFileDialog(dialog, request);
    EXPECT_EQ(dialog.windowTitle(), u"Select Music Library XML"_s);
    EXPECT_EQ(dialog.labelText(QFileDialog::FileName), request.message);
    EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog.nameFilters(), (QStringList{u"XML files (*.xml)"_s, u"Property lists (*.plist)"_s}));
}

TEST_F(LibraryPickerViewTest, DisablesOnlyTheButtonWhileChoosingIsDisabled)
{
    picker.setSelectedURL(QUrl::fromLocalFile(u"/music/Music Library.xml"_s));
    picker.setChoosingDisabled(true);
    auto *button = child<QPushButton>(&picker, "chooseButton");
    auto *path = child<ElidedLabel>(&picker, "pathLabel");
    ASSERT_TRUE(button && path);
    EXPECT_FALSE(button->isEnabled());
    EXPECT_TRUE(path->isEnabled());
    EXPECT_EQ(path->text(), u"/music/Music Library.xml"_s);

    dialogAnswer = QUrl::fromLocalFile(u"/elsewhere/Music Library.xml"_s);
    clickChoose();
    EXPECT_TRUE(requests.isEmpty());
    EXPECT_FALSE(bound.has_value());
}

} // namespace
