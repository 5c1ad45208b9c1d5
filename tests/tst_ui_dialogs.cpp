#include "app/Debug.h"
#include "link/ModelCatalogue.h"
#include "support/ModalCatcher.h"
#include "ui/About.h"
#include "ui/Manual.h"
#include "ui/PopupMessage.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

namespace {

// The engine reports a bare site address with its root path; both name the same page.
QUrl withRootPath(QUrl url)
{
    if (url.path().isEmpty())
        url.setPath(QStringLiteral("/"));
    return url;
}

// What the view was last asked to load; known at once, unlike url(), which follows navigation.
QUrl requested(QWebEngineView *view)
{
    return withRootPath(view->page()->requestedUrl());
}

} // namespace

class DialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void popupMessage_anchoredBelowAnchorTop_data();
    void popupMessage_anchoredBelowAnchorTop();
    void popupMessage_hasOneFixedSizeOkButton();

    void debug_startsHiddenEmptyWithBothBoxesChecked();
    void debug_autoScroll_scrollsToEndOnlyWhenTurnedOn();
    void debug_clear_emptiesLog();

    void about_showsNameVersionAndLicenceLink();

    void manual_constructor_loadsHomePageAndStaysHidden();
    void manual_loadUrl_data();
    void manual_loadUrl();
};

void DialogsTest::popupMessage_anchoredBelowAnchorTop_data()
{
    QTest::addColumn<QRect>("anchorGeometry");
    QTest::addColumn<QString>("text");
    QTest::newRow("main window at x 100, long text")
        << QRect(100, 50, 390, 765)
        << "/dev/serial/by-id/usb-Korvane_Glimmerline_0001-if00 does not have a valid device "
           "attached";
    QTest::newRow("odd anchor width rounds toward zero, short text")
        << QRect(7, 0, 201, 300) << "Device Found";
}

void DialogsTest::popupMessage_anchoredBelowAnchorTop()
{
    QFETCH(QRect, anchorGeometry);
    QFETCH(QString, text);
    QWidget anchor;
    anchor.setGeometry(anchorGeometry);

    ModalCatcher catcher;
    popupMessage(text, QStringLiteral("Serial Port Error"), QMessageBox::Critical, &anchor);

    QCOMPARE(catcher.count(), 1);
    const ModalCatcher::Message message = catcher.last();
    QCOMPARE(message.text, text);
    QCOMPARE(message.title, QStringLiteral("Serial Port Error"));
    QCOMPARE(message.icon, QMessageBox::Critical);
    const int boxWidth = message.size.width();
    QVERIFY(boxWidth > 100);
    QCOMPARE(message.position.x(), anchor.x() + anchor.width() / 2 - boxWidth / 2);
    QCOMPARE(message.position.y(), anchor.y() + 150);
}

void DialogsTest::popupMessage_hasOneFixedSizeOkButton()
{
    ModalCatcher catcher(ModalCatcher::Mode::LeaveOpen);
    QList<QAbstractButton *> buttons;
    QSize okSize;
    bool modal = false;
    // Look at the box from inside its own event loop, then let it go.
    QTimer::singleShot(0, this, [&] {
        if (catcher.waitForCount(1, 3000)) {
            QMessageBox *box = catcher.openBox();
            if (box) {
                buttons = box->buttons();
                if (box->button(QMessageBox::Ok))
                    okSize = box->button(QMessageBox::Ok)->size();
                modal = box->isModal();
            }
        }
        catcher.closeOpenBoxes();
    });
    popupMessage(QStringLiteral("Device Found"), QStringLiteral("Vantelo"),
                 QMessageBox::Information, nullptr);

    QCOMPARE(catcher.count(), 1);
    QCOMPARE(catcher.last().icon, QMessageBox::Information);
    QCOMPARE(buttons.size(), 1);
    QCOMPARE(okSize, QSize(100, 30));
    QVERIFY(modal);
}

void DialogsTest::debug_startsHiddenEmptyWithBothBoxesChecked()
{
    Debug debug;
    QVERIFY(!debug.isVisible());
    QVERIFY(debug.isWindow());
    QCOMPARE(debug.windowTitle(), QStringLiteral("Debug"));
    QCOMPARE(debug.size(), QSize(1540, 798));
    QVERIFY(debug.findChild<QCheckBox *>("c_autoScroll")->isChecked());
    QVERIFY(debug.findChild<QCheckBox *>("c_enable")->isChecked());
    QVERIFY(debug.findChild<QTextBrowser *>("tb_Debug")->toPlainText().isEmpty());
}

void DialogsTest::debug_autoScroll_scrollsToEndOnlyWhenTurnedOn()
{
    Debug debug;
    debug.show();
    QVERIFY(QTest::qWaitForWindowExposed(&debug));
    auto *log = debug.findChild<QTextBrowser *>("tb_Debug");
    QStringList lines;
    for (int i = 0; i < 500; ++i)
        lines.append(QStringLiteral("getDmxAddress -> %1").arg(i));
    log->setPlainText(lines.join(QLatin1Char('\n')));
    QScrollBar *bar = log->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    auto *autoScroll = debug.findChild<QCheckBox *>("c_autoScroll");

    for (bool byClick : {false, true}) {
        bar->setValue(0);
        byClick ? autoScroll->click() : debug.setAutoScroll(false);
        QVERIFY(!autoScroll->isChecked());
        QCOMPARE(bar->value(), 0);
        byClick ? autoScroll->click() : debug.setAutoScroll(true);
        QVERIFY(autoScroll->isChecked());
        QCOMPARE(bar->value(), bar->maximum());
    }
}

void DialogsTest::debug_clear_emptiesLog()
{
    Debug debug;
    auto *log = debug.findChild<QTextBrowser *>("tb_Debug");
    log->setPlainText(QStringLiteral("setUniverse 3\n714x:"));
    debug.findChild<QPushButton *>("pb_DebugWindowClear")->click();
    QVERIFY(log->toPlainText().isEmpty());
}

void DialogsTest::about_showsNameVersionAndLicenceLink()
{
    About about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About"));
    QCOMPARE(about.findChild<QLabel *>("label_2")->text(),
             QStringLiteral("Vantelo\n1.0.0.9.0.2\n"));
    auto *note = about.findChild<QLabel *>("label_4");
    QVERIFY(note->openExternalLinks());
    QCOMPARE(note->textInteractionFlags(), Qt::TextBrowserInteraction);
    QVERIFY(note->text().startsWith(QLatin1String("This app was created under the ")));
    QVERIFY(note->text().contains(
        QLatin1String("href=\"https://www.gnu.org/licenses/lgpl-3.0.en.html\">LGPLv3</a>")));
}

void DialogsTest::manual_constructor_loadsHomePageAndStaysHidden()
{
    QWidget owner;
    auto *manual = new Manual(&owner);
    QVERIFY(!manual->isVisible());
    QCOMPARE(manual->windowTitle(), QStringLiteral("Quick Start Guide"));
    QCOMPARE(manual->minimumSize(), QSize(900, 635));
    QCOMPARE(manual->maximumSize(), QSize(900, 635));
    QWebEngineView *view = manual->webView();
    QVERIFY(view && manual->layout()->indexOf(view) >= 0);
    QCOMPARE(requested(view), withRootPath(makerHomePage()));
}

void DialogsTest::manual_loadUrl_data()
{
    QTest::addColumn<QUrl>("address");
    QTest::addColumn<QUrl>("expected");
    QTest::newRow("empty address falls back to the home page") << QUrl() << makerHomePage();
    QTest::newRow("a model's guide is loaded as given")
        << getModelUrl("7126") << getModelUrl("7126");
}

void DialogsTest::manual_loadUrl()
{
    QFETCH(QUrl, address);
    QFETCH(QUrl, expected);
    Manual manual(nullptr);
    // Start from a page that is neither, so the check sees what loadUrl itself asked for.
    manual.loadUrl(getModelUrl("7185"));
    QCOMPARE(requested(manual.webView()), withRootPath(getModelUrl("7185")));

    manual.loadUrl(address);
    QCOMPARE(requested(manual.webView()), withRootPath(expected));
}

int main(int argc, char **argv)
{
    // The web engine shares its GL context with the widgets; it must be asked for before the
    // application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    DialogsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ui_dialogs.moc"
