// The model catalogue: every row, and the strings that are not exactly a model number.

#include "link/ModelCatalogue.h"

#include <QtTest>

class LinkCatalogueTest : public QObject
{
    Q_OBJECT

private slots:
    void lookups_data();
    void lookups();
};

void LinkCatalogueTest::lookups_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("guide"); // empty: no guide, an unknown model
    QTest::addColumn<int>("channels");

    const char *const dimmer5 = "Glimmerline 5x2.5A Dimmer";
    const char *const dimmer2 = "Glimmerline 2x2.5A Dimmer";
    const char *const receiver = "Farcast Receiver Card";
    const char *const guide5 = "-glimmerline-5x2-5a-farcast-dimmer-qsg";
    const char *const guide2 = "-glimmerline-2x2-5a-farcast-dimmer-qsg";
    const char *const guideR = "-farcast-receiver-card-manual";
    const struct
    {
        const char *row, *model, *name, *prefix, *guide;
        int channels;
    } rows[] = {
        {"7146", "7146", dimmer5, "714x:", "7146", 5},
        {"7147", "7147", dimmer5, "714x:", "7147", 5},
        {"7126", "7126", dimmer2, "712x:", "7126", 2},
        {"7127", "7127", dimmer2, "712x:", "7127", 2},
        {"7185", "7185", receiver, "718x:", "7185", 0},
        {"7186", "7186", receiver, "718x:", "7186", 0},
        {"revision suffix", "7127 B", dimmer2, "712x:", "7127", 2},
        {"letter before the number", "K7185", receiver, "718x:", "7185", 0},
        {"two numbers: the earlier row wins", "7126/7146", dimmer5, "714x:", "7146", 5},
        {"receiver before a dimmer in the text", "7186 7127", dimmer2, "712x:", "7127", 2},
        {"empty string is unknown", "", "Unknown", ":", "", 0},
        {"similar but unsupported number", "7148", "Unknown", ":", "", 0},
        {"the family prefix is not a model", "714x:", "Unknown", ":", "", 0},
    };
    for (const auto &r : rows) {
        const QString guide = QString::fromLatin1(r.guide);
        const char *const tail = guide.startsWith(QLatin1String("714"))   ? guide5
                                 : guide.startsWith(QLatin1String("712")) ? guide2
                                                                          : guideR;
        QTest::newRow(r.row) << r.model << r.name << r.prefix
                             << (guide.isEmpty() ? QString() : guide + QLatin1String(tail))
                             << r.channels;
    }
}

void LinkCatalogueTest::lookups()
{
    QFETCH(QString, model);
    QFETCH(QString, name);
    QFETCH(QString, prefix);
    QFETCH(QString, guide);
    QFETCH(int, channels);

    QCOMPARE(getModelName(model), name);
    QCOMPARE(getModelPrefix(model), prefix);
    QCOMPARE(getModelChannels(model), channels);
    QCOMPARE(isValidModel(model), !guide.isEmpty());

    // The guide address is the maker's secure site plus the path, nothing lost or doubled at the
    // join.
    const QUrl home = makerHomePage();
    QCOMPARE(home.scheme(), QStringLiteral("https"));
    QVERIFY(!home.host().isEmpty() && home.path().isEmpty() && home.query().isEmpty());
    const QUrl url = getModelUrl(model);
    if (guide.isEmpty())
        QVERIFY(url.isEmpty());
    else
        QCOMPARE(url.toString(),
                 home.toString() + QStringLiteral("/docs/default-source/pdfs/") + guide);
}

QTEST_GUILESS_MAIN(LinkCatalogueTest)
#include "tst_link_catalogue.moc"
