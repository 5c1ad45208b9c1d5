#include "ui/Theme.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <functional>

namespace {

const QString ComboBoxSheet =
    "QComboBox{font-size: 14px;color: #ffffff;background-color: #434343;border-color: "
    "#434343;border-style: solid;border-width: 1px;}QListView { color: #ffffff;}";
const QString LineEditSheet =
    "QLineEdit{font-size: 14px;color: #ffffff;background-color: "
    "#434343;border-color: #434343;border-style: solid;border-width: 1px;}";

QString groupBoxSheet(const QString &underline)
{
    return "QGroupBox{background-color: #434343;border-color: #434343;border-style: "
           "solid;border-width: 1px;border-bottom-color: " +
           underline + ";border-top-left-radius: 3px;border-top-right-radius: 3px;}";
}

QString captionSheet(const QString &colour)
{
    return "QLabel{font-size: 12px;color: " + colour +
           ";background-color: #434343;border-color: #434343;border-style: solid;border-width: "
           "1px;}";
}

QImage asImage(const QPixmap &pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

using StyledSheet = std::function<QString()>;
Q_DECLARE_METATYPE(StyledSheet)

// The sheet a single-widget function leaves on a fresh widget of its kind.
template <class W> StyledSheet sheetOf(void (*apply)(W *))
{
    return [apply] {
        W widget;
        apply(&widget);
        return widget.styleSheet();
    };
}
using ShowPicture = std::function<void(QLabel *)>;
Q_DECLARE_METATYPE(ShowPicture)

class TestTheme : public QObject
{
    Q_OBJECT

private slots:
    void singleWidgetSheets_data();
    void singleWidgetSheets();
    void focusThenNormal_leavesOnlyNormalSheets_data();
    void focusThenNormal_leavesOnlyNormalSheets();
    void comboGroup_makesReadOnlyEditableCombo_andListChoiceStillWorks();
    void checkBoxIndicators_renderFromResources();
    void statusPictures_loadTheFrameOrNothing_data();
    void statusPictures_loadTheFrameOrNothing();
    void everyResourcePathTheProgramUses_exists_data();
    void everyResourcePathTheProgramUses_exists();
    void resourceCollection_holdsOnlyTheProgramsImages();
};

void TestTheme::singleWidgetSheets_data()
{
    QTest::addColumn<StyledSheet>("styled");
    QTest::addColumn<QString>("expected");

    QTest::newRow("main window is blue")
        << sheetOf(applyMainWindowStyle) << QString("QWidget{background-color: #0d47a1;}");
    QTest::newRow("page is dark grey")
        << sheetOf(applyPageStyle) << QString("QWidget{background-color: #303030;}");
    QTest::newRow("dialog body")
        << sheetOf(applyDialogStyle)
        << QString("QWidget{font-size: 14px;color: #ffffff;background-color: #303030;}");
    QTest::newRow("push button")
        << sheetOf(applyButtonStyle)
        << QString("QPushButton{font-size: 12px;color: #ffffff;background-color: #434343;}");
    QTest::newRow("navigation button cleared")
        << sheetOf(applyNavButtonStyle)
        << QString("QPushButton{font-size: 12px;color: #ffffff;background-color: "
                   "#0d47a1;border-style: solid;border-width: 3px;border-color: #0d47a1;}");
    QTest::newRow("navigation button pressed")
        << sheetOf(applyNavButtonPressedStyle)
        << QString("QPushButton{font-size: 12px;color: #a0a0a0;background-color: "
                   "#0d47a1;border-style: solid;border-width: 3px;border-color: "
                   "#0d47a1;border-bottom-color: #a0a0a0;}");
    QTest::newRow("navigation button selected")
        << sheetOf(applyNavButtonSelectedStyle)
        << QString("QPushButton{font-size: 12px;color: #ff9100;background-color: "
                   "#0d47a1;border-style: solid;border-width: 3px;border-color: "
                   "#0d47a1;border-bottom-color: #ff9100;}");
    QTest::newRow("check box with image indicators")
        << sheetOf(applyCheckBoxStyle)
        << QString("QCheckBox{font-size: 16px;color: "
                   "#ffffff;}QCheckBox::indicator:unchecked{image: "
                   "url(:/images/icons/Checkbox_Uncheched.png);}QCheckBox::indicator:checked{"
                   "image: url(:/images/icons/Checkbox_Cheched.png);}");
    QTest::newRow("outer frame group")
        << sheetOf(applyFrameGroupStyle)
        << QString("QGroupBox{font-size: 12px;color: #ffffff;text-align: top;background-color: "
                   "#303030;border-color: #434343;border-style: solid;border-width: 1px;}");
    QTest::newRow("label") << sheetOf(applyLabelStyle)
                           << QString("QLabel{font-size: 12px;color: #ffffff;border-width: 0px;}");
    QTest::newRow("large label")
        << sheetOf(applyLargeLabelStyle)
        << QString("QLabel{font-size: 14px;color: #ffffff;border-width: 0px;}");
    QTest::newRow("caption") << sheetOf(applyCaptionStyle)
                             << QString(
                                    "QLabel{font-size: 12px;color: #c7c7c7;border-width: 0px;}");
}

void TestTheme::singleWidgetSheets()
{
    QFETCH(StyledSheet, styled);
    QFETCH(QString, expected);
    QCOMPARE(styled(), expected);
}

void TestTheme::focusThenNormal_leavesOnlyNormalSheets_data()
{
    QTest::addColumn<bool>("combo");
    QTest::addColumn<QString>("normalUnderline");
    QTest::newRow("combo group loses its orange underline") << true << QString("#434343");
    QTest::newRow("edit group returns to its grey underline") << false << QString("#c7c7c7");
}

void TestTheme::focusThenNormal_leavesOnlyNormalSheets()
{
    QFETCH(bool, combo);
    QFETCH(QString, normalUnderline);

    QGroupBox group;
    QLabel caption(&group);
    QComboBox comboBox(&group);
    QLineEdit lineEdit(&group);
    QWidget *input = combo ? static_cast<QWidget *>(&comboBox) : &lineEdit;
    const QString inputSheet = combo ? ComboBoxSheet : LineEditSheet;
    auto apply = [&](bool focus) {
        if (combo)
            (focus ? applyComboGroupFocusStyle : applyComboGroupStyle)(&group, &caption, &comboBox);
        else
            (focus ? applyEditGroupFocusStyle : applyEditGroupStyle)(&group, &caption, &lineEdit);
    };

    apply(true);
    QLineEdit *edit = combo ? comboBox.lineEdit() : &lineEdit;
    QVERIFY(edit);
    QCOMPARE(edit->alignment(), Qt::Alignment(Qt::AlignVCenter));
    QCOMPARE(edit->isReadOnly(), combo);
    edit->setAlignment(Qt::AlignRight | Qt::AlignTop);
    QCOMPARE(group.styleSheet(), groupBoxSheet("#ff9100"));
    QCOMPARE(caption.styleSheet(), captionSheet("#ff9100"));
    QCOMPARE(input->styleSheet(), inputSheet);

    apply(false);
    QCOMPARE(group.styleSheet(), groupBoxSheet(normalUnderline));
    QCOMPARE(caption.styleSheet(), captionSheet("#c7c7c7"));
    QCOMPARE(input->styleSheet(), inputSheet);
    QCOMPARE(edit->alignment(), Qt::Alignment(Qt::AlignVCenter));
    // Only combo fields are locked; a line-edit field must stay editable.
    QCOMPARE(edit->isReadOnly(), combo);
}

void TestTheme::comboGroup_makesReadOnlyEditableCombo_andListChoiceStillWorks()
{
    QWidget window;
    QGroupBox group(&window);
    QLabel caption(&group);
    QComboBox combo(&group);
    combo.addItems({"Linear", "Square", "Inverse square"});

    // Applied on every focus change: repeating it must keep the same state.
    applyComboGroupFocusStyle(&group, &caption, &combo);
    applyComboGroupStyle(&group, &caption, &combo);
    applyComboGroupStyle(&group, &caption, &combo);
    QLineEdit *edit = combo.lineEdit();
    QVERIFY(edit && edit->isReadOnly());
    QCOMPARE(combo.count(), 3);

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    combo.setFocus();
    QTRY_VERIFY(combo.hasFocus());

    // Typing must neither change the shown text nor add an entry.
    QTest::keyClicks(edit, "xyz");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(combo.currentText(), QString("Linear"));
    QCOMPARE(combo.count(), 3);

    // Choosing from the list still selects and reports the entry.
    QSignalSpy activated(&combo, QOverload<int>::of(&QComboBox::activated));
    QVERIFY(activated.isValid());
    combo.showPopup();
    QAbstractItemView *view = combo.view();
    QTRY_VERIFY(view->isVisible());
    view->setCurrentIndex(view->model()->index(2, 0));
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_COMPARE(activated.count(), 1);
    QCOMPARE(activated.at(0).at(0).toInt(), 2);
    QCOMPARE(combo.currentIndex(), 2);
    QCOMPARE(edit->text(), QString("Inverse square"));
    QCOMPARE(combo.count(), 3);
}

void TestTheme::checkBoxIndicators_renderFromResources()
{
    // If an indicator image were missing the style would fall back to the native indicator; the
    // checked and unchecked renderings must differ and show our own artwork.
    QCheckBox box("Show all available ports");
    applyCheckBoxStyle(&box);
    box.resize(box.sizeHint());
    const QImage unchecked = asImage(box.grab());
    box.setChecked(true);
    const QImage checked = asImage(box.grab());
    QVERIFY(!unchecked.isNull());
    QVERIFY(unchecked != checked);
}

void TestTheme::statusPictures_loadTheFrameOrNothing_data()
{
    QTest::addColumn<ShowPicture>("show");
    QTest::addColumn<QString>("resource"); // empty: no picture at all
    QTest::addColumn<QString>("differsFrom");
    const QString slide(":/images/images/WaitSlide%1.png");
    auto frame = [](int n) -> ShowPicture {
        return [n](QLabel *label) { setWaitSlide(label, n); };
    };
    // Neighbouring frames differ, otherwise the animation would stand still.
    QTest::newRow("first frame") << frame(0) << slide.arg(0) << slide.arg(1);
    QTest::newRow("last frame") << frame(7) << slide.arg(7) << slide.arg(0);
    QTest::newRow("frame 8 is not an image") << frame(8) << QString() << QString();
    QTest::newRow("negative frame is not an image") << frame(-1) << QString() << QString();
    QTest::newRow("connected") << ShowPicture(setUsbConnectedIcon)
                               << ":/images/images/USBConnectedGreen.png"
                               << ":/images/images/USBUnconnected.png";
    QTest::newRow("unconnected") << ShowPicture(setUsbDisconnectedIcon)
                                 << ":/images/images/USBUnconnected.png"
                                 << ":/images/images/USBConnectedGreen.png";
}

void TestTheme::statusPictures_loadTheFrameOrNothing()
{
    QFETCH(ShowPicture, show);
    QFETCH(QString, resource);
    QFETCH(QString, differsFrom);

    QLabel label;
    setWaitSlide(&label, 3); // a stale picture must not survive a missing frame
    QVERIFY(!label.pixmap(Qt::ReturnByValue).isNull());
    show(&label);
    const QImage shown = asImage(label.pixmap(Qt::ReturnByValue));
    if (resource.isEmpty()) {
        QVERIFY(shown.isNull());
        return;
    }
    QVERIFY(!shown.isNull());
    QCOMPARE(shown, asImage(QPixmap(resource)));
    QVERIFY(shown != asImage(QPixmap(differsFrom)));
}

namespace {

struct ResourceImage
{
    QString row;
    QString path;
    QSize size;
};

// Every picture the program asks for, with the size its widget is laid out for.
QList<ResourceImage> resourceImages()
{
    QList<ResourceImage> images = {
        {"connected icon", ":/images/images/USBConnectedGreen.png", QSize(30, 30)},
        {"unconnected icon", ":/images/images/USBUnconnected.png", QSize(30, 30)},
        {"about logo", ":/images/images/Logo.png", QSize(230, 60)},
        {"toolkit badge", ":/images/images/BuiltWithQt.png", QSize(120, 30)},
        {"infinite button", ":/images/icons/Inf_Unpressed.png", QSize(40, 40)},
        {"check box off", ":/images/icons/Checkbox_Uncheched.png", QSize(20, 20)},
        {"check box on", ":/images/icons/Checkbox_Cheched.png", QSize(20, 20)}};
    for (int frame = 0; frame < 8; ++frame)
        images.append({QString("wait frame %1").arg(frame),
                       QString(":/images/images/WaitSlide%1.png").arg(frame), QSize(30, 30)});
    return images;
}

} // namespace

void TestTheme::everyResourcePathTheProgramUses_exists_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    for (const ResourceImage &image : resourceImages())
        QTest::newRow(qPrintable(image.row)) << image.path << image.size;
}

void TestTheme::everyResourcePathTheProgramUses_exists()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QVERIFY2(QFile::exists(path), qPrintable(path));
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), size);
    QVERIFY(image.hasAlphaChannel());
}

void TestTheme::resourceCollection_holdsOnlyTheProgramsImages()
{
    // The window icon path is deliberately absent (the platform's default icon is shown), and no
    // stray file may ride along in every executable.
    QStringList expected;
    for (const ResourceImage &image : resourceImages())
        expected << image.path;
    QStringList present;
    QDirIterator it(":/images", QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        present << it.next();
    expected.sort();
    present.sort();
    QCOMPARE(present, expected);
}

QTEST_MAIN(TestTheme)
#include "tst_ui_theme.moc"
