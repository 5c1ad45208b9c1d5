// The model catalogue: every row, and the strings that are not exactly a model number.

#include "link/ModelCatalogue.h"

#include <QtTest>

class LinkCatalogueTest : public QObject
{
    Q_OBJECT

private slots:
    void lookups_data();
    void lookups();
    void guideAddressesShareTheMakerSite();
};

void LinkCatalogueTest::lookups_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("guidePath");
    QTest::addColumn<int>("channels");
    QTest::addColumn<bool>("valid");

    const QString dimmer5 = QStringLiteral("Glimmerline 5x2.5A Dimmer");
    const QString dimmer2 = QStringLiteral("Glimmerline 2x2.5A Dimmer");
    const QString receiver = QStringLiteral("Farcast Receiver Card");
    const QString pdfs = QStringLiteral("/docs/default-source/pdfs/");

    QTest::newRow("7146") << "7146" << dimmer5
                          << "714x:" << pdfs + "7146-glimmerline-5x2-5a-farcast-dimmer-qsg" << 5
                          << true;
    QTest::newRow("7147") << "7147" << dimmer5
                          << "714x:" << pdfs + "7147-glimmerline-5x2-5a-farcast-dimmer-qsg" << 5
                          << true;
    QTest::newRow("7126") << "7126" << dimmer2
                          << "712x:" << pdfs + "7126-glimmerline-2x2-5a-farcast-dimmer-qsg" << 2
                          << true;
    QTest::newRow("7127") << "7127" << dimmer2
                          << "712x:" << pdfs + "7127-glimmerline-2x2-5a-farcast-dimmer-qsg" << 2
                          << true;
    QTest::newRow("7185") << "7185" << receiver
                          << "718x:" << pdfs + "7185-farcast-receiver-card-manual" << 0 << true;
    QTest::newRow("7186") << "7186" << receiver
                          << "718x:" << pdfs + "7186-farcast-receiver-card-manual" << 0 << true;

    QTest::newRow("empty string is unknown") << ""
                                             << "Unknown"
                                             << ":" << QString() << 0 << false;
    QTest::newRow("revision suffix")
        << "7127 B" << dimmer2 << "712x:" << pdfs + "7127-glimmerline-2x2-5a-farcast-dimmer-qsg"
        << 2 << true;
    QTest::newRow("letter before the number")
        << "K7185" << receiver << "718x:" << pdfs + "7185-farcast-receiver-card-manual" << 0
        << true;
    QTest::newRow("two numbers: the earlier row wins")
        << "7126/7146" << dimmer5 << "714x:" << pdfs + "7146-glimmerline-5x2-5a-farcast-dimmer-qsg"
        << 5 << true;
    QTest::newRow("receiver before a dimmer in the text")
        << "7186 7127" << dimmer2 << "712x:" << pdfs + "7127-glimmerline-2x2-5a-farcast-dimmer-qsg"
        << 2 << true;
    QTest::newRow("similar but unsupported number") << "7148"
                                                    << "Unknown"
                                                    << ":" << QString() << 0 << false;
    QTest::newRow("digits split by a blank") << "71 46"
                                             << "Unknown"
                                             << ":" << QString() << 0 << false;
    QTest::newRow("the family prefix is not a model") << "714x:"
                                                      << "Unknown"
                                                      << ":" << QString() << 0 << false;
}

void LinkCatalogueTest::lookups()
{
    QFETCH(QString, model);
    QFETCH(QString, name);
    QFETCH(QString, prefix);
    QFETCH(QString, guidePath);
    QFETCH(int, channels);
    QFETCH(bool, valid);

    QCOMPARE(getModelName(model), name);
    QCOMPARE(getModelPrefix(model), prefix);
    QCOMPARE(getModelChannels(model), channels);
    QCOMPARE(isValidModel(model), valid);

    const QUrl url = getModelUrl(model);
    if (guidePath.isEmpty()) {
        QVERIFY(url.isEmpty());
    } else {
        QVERIFY(url.isValid());
        QCOMPARE(url.scheme(), makerHomePage().scheme());
        QCOMPARE(url.host(), makerHomePage().host());
        QCOMPARE(url.path(), guidePath);
    }
}

void LinkCatalogueTest::guideAddressesShareTheMakerSite()
{
    const QUrl home = makerHomePage();
    QVERIFY(home.isValid());
    QCOMPARE(home.scheme(), QStringLiteral("https"));
    QVERIFY(!home.host().isEmpty());
    QVERIFY(home.path().isEmpty());
    QVERIFY(home.query().isEmpty());
    // The guide address is the site plus the path, nothing lost or doubled at the join.
    const QUrl guide = getModelUrl(QStringLiteral("7146"));
    QCOMPARE(
        guide.toString(),
        home.toString() +
            QStringLiteral("/docs/default-source/pdfs/7146-glimmerline-5x2-5a-farcast-dimmer-qsg"));
}

QTEST_GUILESS_MAIN(LinkCatalogueTest)
#include "tst_link_catalogue.moc"
