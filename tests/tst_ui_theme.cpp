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

using GroupApply = std::function<void(QGroupBox *, QLabel *, QWidget *)>;

GroupApply comboGroup(void (*apply)(QGroupBox *, QLabel *, QComboBox *))
{
    return
        [apply](QGroupBox *g, QLabel *l, QWidget *w) { apply(g, l, qobject_cast<QComboBox *>(w)); };
}

GroupApply editGroup(void (*apply)(QGroupBox *, QLabel *, QLineEdit *))
{
    return
        [apply](QGroupBox *g, QLabel *l, QWidget *w) { apply(g, l, qobject_cast<QLineEdit *>(w)); };
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
Q_DECLARE_METATYPE(GroupApply)

class TestTheme : public QObject
{
    Q_OBJECT

private slots:
    void singleWidgetSheets_data();
    void singleWidgetSheets();
    void focusThenNormal_leavesOnlyNormalSheets_data();
    void focusThenNormal_leavesOnlyNormalSheets();
    void comboGroup_makesReadOnlyEditableCombo_andListChoiceStillWorks_data();
    void comboGroup_makesReadOnlyEditableCombo_andListChoiceStillWorks();
    void checkBoxIndicators_renderFromResources();
    void waitSlide_loadsTheFrameOrNothing_data();
    void waitSlide_loadsTheFrameOrNothing();
    void usbIcons_loadAndDiffer();
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
    QTest::addColumn<GroupApply>("focus");
    QTest::addColumn<GroupApply>("normal");
    QTest::addColumn<bool>("combo");
    QTest::addColumn<QString>("normalUnderline");
    QTest::addColumn<QString>("inputSheet");

    QTest::newRow("combo group loses its orange underline")
        << comboGroup(applyComboGroupFocusStyle) << comboGroup(applyComboGroupStyle) << true
        << QString("#434343") << ComboBoxSheet;
    QTest::newRow("edit group returns to its grey underline")
        << editGroup(applyEditGroupFocusStyle) << editGroup(applyEditGroupStyle) << false
        << QString("#c7c7c7") << LineEditSheet;
}

void TestTheme::focusThenNormal_leavesOnlyNormalSheets()
{
    QFETCH(GroupApply, focus);
    QFETCH(GroupApply, normal);
    QFETCH(bool, combo);
    QFETCH(QString, normalUnderline);
    QFETCH(QString, inputSheet);

    QGroupBox group;
    QLabel caption(&group);
    QWidget *input = combo ? static_cast<QWidget *>(new QComboBox(&group))
                           : static_cast<QWidget *>(new QLineEdit(&group));

    focus(&group, &caption, input);
    QLineEdit *edit =
        combo ? qobject_cast<QComboBox *>(input)->lineEdit() : qobject_cast<QLineEdit *>(input);
    QVERIFY(edit);
    QCOMPARE(edit->alignment(), Qt::Alignment(Qt::AlignVCenter));
    edit->setAlignment(Qt::AlignRight | Qt::AlignTop);
    QCOMPARE(group.styleSheet(), groupBoxSheet("#ff9100"));
    QCOMPARE(caption.styleSheet(), captionSheet("#ff9100"));
    QCOMPARE(input->styleSheet(), inputSheet);

    normal(&group, &caption, input);
    QCOMPARE(group.styleSheet(), groupBoxSheet(normalUnderline));
    QCOMPARE(caption.styleSheet(), captionSheet("#c7c7c7"));
    QCOMPARE(input->styleSheet(), inputSheet);
    QCOMPARE(edit->alignment(), Qt::Alignment(Qt::AlignVCenter));
    // Only combo fields are locked; a line-edit field must stay editable.
    QCOMPARE(edit->isReadOnly(), combo);
    for (const QWidget *w :
         {static_cast<QWidget *>(&group), static_cast<QWidget *>(&caption), input})
        QVERIFY2(!w->styleSheet().contains("#ff9100"), qPrintable(w->styleSheet()));
}

void TestTheme::comboGroup_makesReadOnlyEditableCombo_andListChoiceStillWorks_data()
{
    QTest::addColumn<GroupApply>("apply");
    QTest::newRow("normal") << comboGroup(applyComboGroupStyle);
    QTest::newRow("highlighted") << comboGroup(applyComboGroupFocusStyle);
}

void TestTheme::comboGroup_makesReadOnlyEditableCombo_andListChoiceStillWorks()
{
    QFETCH(GroupApply, apply);

    QWidget window;
    QGroupBox group(&window);
    QLabel caption(&group);
    QComboBox combo(&group);
    combo.addItems({"Linear", "Square", "Inverse square"});

    apply(&group, &caption, &combo);
    // Applying again (as a focus filter does on every focus change) must keep the same state.
    apply(&group, &caption, &combo);

    QVERIFY(combo.isEditable());
    QLineEdit *edit = combo.lineEdit();
    QVERIFY(edit);
    QVERIFY(edit->isReadOnly());
    QCOMPARE(edit->alignment(), Qt::Alignment(Qt::AlignVCenter));
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

void TestTheme::waitSlide_loadsTheFrameOrNothing_data()
{
    QTest::addColumn<int>("frame");
    QTest::addColumn<QString>("resource");
    QTest::newRow("first frame") << 0 << QString(":/images/images/WaitSlide0.png");
    QTest::newRow("frame 3") << 3 << QString(":/images/images/WaitSlide3.png");
    QTest::newRow("last frame") << 7 << QString(":/images/images/WaitSlide7.png");
    QTest::newRow("frame 10 is not an image") << 10 << QString();
    QTest::newRow("negative frame is not an image") << -1 << QString();
}

void TestTheme::waitSlide_loadsTheFrameOrNothing()
{
    QFETCH(int, frame);
    QFETCH(QString, resource);

    QLabel label;
    setUsbConnectedIcon(&label); // a stale picture must not survive a missing frame
    QVERIFY(!label.pixmap(Qt::ReturnByValue).isNull());

    setWaitSlide(&label, frame);
    const QPixmap shown = label.pixmap(Qt::ReturnByValue);
    if (resource.isEmpty()) {
        QVERIFY(shown.isNull());
        return;
    }
    const QPixmap expected(resource);
    QVERIFY(!expected.isNull());
    QVERIFY(!shown.isNull());
    QCOMPARE(asImage(shown), asImage(expected));
    // Neighbouring frames differ, otherwise the animation would stand still.
    QVERIFY(asImage(shown) !=
            asImage(QPixmap(QString(":/images/images/WaitSlide%1.png").arg((frame + 1) % 8))));
}

void TestTheme::usbIcons_loadAndDiffer()
{
    QLabel label;
    setUsbConnectedIcon(&label);
    const QImage connected = asImage(label.pixmap(Qt::ReturnByValue));
    setUsbDisconnectedIcon(&label);
    const QImage disconnected = asImage(label.pixmap(Qt::ReturnByValue));

    QVERIFY(!connected.isNull());
    QVERIFY(!disconnected.isNull());
    QCOMPARE(connected, asImage(QPixmap(":/images/images/USBConnectedGreen.png")));
    QCOMPARE(disconnected, asImage(QPixmap(":/images/images/USBUnconnected.png")));
    QVERIFY(connected != disconnected);
}

namespace {

struct ResourceImage
{
    const char *row;
    QString path;
    QSize size;
};

// Every picture the program asks for, with the size its widget is laid out for.
QList<ResourceImage> resourceImages()
{
    QList<ResourceImage> images;
    static const char *const frames[] = {"wait frame 0", "wait frame 1", "wait frame 2",
                                         "wait frame 3", "wait frame 4", "wait frame 5",
                                         "wait frame 6", "wait frame 7"};
    for (int frame = 0; frame < 8; ++frame)
        images.append(
            {frames[frame], QString(":/images/images/WaitSlide%1.png").arg(frame), QSize(30, 30)});
    images.append({"connected icon", ":/images/images/USBConnectedGreen.png", QSize(30, 30)});
    images.append({"unconnected icon", ":/images/images/USBUnconnected.png", QSize(30, 30)});
    images.append({"about logo", ":/images/images/Logo.png", QSize(230, 60)});
    images.append({"toolkit badge", ":/images/images/BuiltWithQt.png", QSize(120, 30)});
    images.append({"infinite button", ":/images/icons/Inf_Unpressed.png", QSize(40, 40)});
    images.append({"check box off", ":/images/icons/Checkbox_Uncheched.png", QSize(20, 20)});
    images.append({"check box on", ":/images/icons/Checkbox_Cheched.png", QSize(20, 20)});
    return images;
}

} // namespace

void TestTheme::everyResourcePathTheProgramUses_exists_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    for (const ResourceImage &image : resourceImages())
        QTest::newRow(image.row) << image.path << image.size;
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
