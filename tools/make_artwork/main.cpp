// Draws every picture of the resource collection, so the artwork can be regenerated and reviewed
// as code. Usage: make_artwork <resources directory>   (writes <dir>/images/... and
// <dir>/icons/...)
//
// Pictures are drawn on transparent backgrounds for the dark palette: status icons sit on the
// blue navigation strip, everything else on the grey pages. Text uses DejaVu Sans, which the
// supported build platform ships; with another font the words come out slightly different.

#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <QtMath>

#include <functional>

namespace {

const QColor Blue("#0d47a1");
const QColor Field("#434343");
const QColor Orange("#ff9100");
const QColor LightGrey("#c7c7c7");
const QColor MidGrey("#9e9e9e");
const QColor White("#ffffff");
const QColor Green("#43c35a");
const QColor DarkGreen("#1b7a2e");

using Painter = std::function<void(QPainter &)>;

bool writeImage(const QString &path, QSize size, const Painter &paint)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        paint(p);
    }
    // Fixed PNG settings and no text chunks, so regenerating gives byte-identical files.
    const bool ok = image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG", 9);
    QTextStream(stderr) << (ok ? "wrote " : "FAILED ") << path << '\n';
    return ok;
}

QFont textFont(qreal pixelSize, int weight)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(qRound(pixelSize));
    font.setWeight(weight);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// A USB plug lying horizontally, cable to the left: rounded grip, then the metal shell with its
// two contact windows. `x` is where the grip starts.
void drawPlug(QPainter &p, qreal x, const QColor &body, const QColor &shell, const QColor &holes)
{
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(QRectF(x, 8.5, 10, 13), 1.8, 1.8);
    p.setBrush(shell);
    p.drawRect(QRectF(x + 10, 10.5, 8, 9));
    p.setBrush(holes);
    p.drawRect(QRectF(x + 12.5, 12.5, 2.5, 2));
    p.drawRect(QRectF(x + 12.5, 15.5, 2.5, 2));
}

void usbConnected(QPainter &p)
{
    QPen cable(DarkGreen, 3.2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(cable);
    p.drawLine(QPointF(2, 15), QPointF(8, 15));
    drawPlug(p, 7, Green, QColor("#b9f0c3"), DarkGreen);
}

void usbUnconnected(QPainter &p)
{
    // The cable is cut and the cut marked with a cross: the device is gone.
    QPen cable(MidGrey, 3.2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(cable);
    p.drawLine(QPointF(1.5, 15), QPointF(4.5, 15));
    p.drawLine(QPointF(10.5, 15), QPointF(12, 15));
    QPen cross(QColor("#e0e0e0"), 1.8, Qt::SolidLine, Qt::RoundCap);
    p.setPen(cross);
    p.drawLine(QPointF(5.8, 12.2), QPointF(9.2, 17.8));
    p.drawLine(QPointF(9.2, 12.2), QPointF(5.8, 17.8));
    drawPlug(p, 12, MidGrey, QColor("#d6d6d6"), QColor("#5e5e5e"));
}

// Eight dots on a ring; the bright head sits at 45° * frame clockwise from twelve o'clock and the
// dots behind it fade, so stepping the frames makes the ring turn clockwise.
void waitSlide(QPainter &p, int frame)
{
    const QPointF centre(15, 15);
    const qreal ring = 10.5;
    p.setPen(Qt::NoPen);
    for (int dot = 0; dot < 8; ++dot) {
        const int behind = (frame - dot + 8) % 8; // 0 = the head
        const qreal angle = qDegreesToRadians(45.0 * dot);
        const QPointF at(centre.x() + ring * qSin(angle), centre.y() - ring * qCos(angle));
        QColor colour = behind == 0 ? Orange : White;
        const qreal radius = behind == 0 ? 3.4 : 2.9 - 0.15 * behind;
        colour.setAlphaF(behind == 0 ? 1.0 : qMax(0.22, 0.85 - 0.11 * behind));
        p.setBrush(colour);
        p.drawEllipse(at, radius, radius);
    }
}

// The mark: a stage lamp seen from the side throwing a widening beam.
void drawMark(QPainter &p, const QRectF &box)
{
    p.save();
    p.translate(box.topLeft());
    const qreal s = box.height() / 44.0;
    p.scale(s, s);

    QLinearGradient beam(QPointF(14, 22), QPointF(44, 22));
    QColor start = Orange;
    start.setAlphaF(0.95);
    QColor end = Orange;
    end.setAlphaF(0.0);
    beam.setColorAt(0, start);
    beam.setColorAt(1, end);
    QPainterPath cone;
    cone.moveTo(16, 15);
    cone.lineTo(44, 3);
    cone.lineTo(44, 41);
    cone.lineTo(16, 29);
    cone.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(beam);
    p.drawPath(cone);

    p.setBrush(QColor("#5c6bc0").darker(110));
    p.drawRoundedRect(QRectF(2, 11, 16, 22), 4, 4);
    p.setBrush(Blue);
    p.drawRoundedRect(QRectF(4, 13, 12, 18), 3, 3);
    p.setBrush(Orange);
    p.drawEllipse(QRectF(11, 15, 8, 14));
    p.setBrush(QColor("#ffe0b2"));
    p.drawEllipse(QRectF(13, 18, 4, 8));
    p.restore();
}

void logo(QPainter &p)
{
    drawMark(p, QRectF(6, 8, 44, 44));
    const QFont font = textFont(34, QFont::Bold);
    p.setFont(font);
    p.setPen(White);
    const QFontMetricsF metrics(font);
    const QString word = QStringLiteral("Vantelo");
    const qreal baseline = 30 + (metrics.ascent() - metrics.descent()) / 2.0;
    p.drawText(QPointF(60, baseline), word);
    // An orange rule under the word ties it to the beam.
    p.setPen(QPen(Orange, 2.0, Qt::SolidLine, Qt::RoundCap));
    const qreal right = qMin<qreal>(224, 60 + metrics.horizontalAdvance(word));
    p.drawLine(QPointF(62, baseline + 7), QPointF(right, baseline + 7));
}

void builtWithQt(QPainter &p)
{
    const QRectF badge(0.75, 0.75, 118.5, 28.5);
    p.setPen(QPen(LightGrey, 1.5));
    p.setBrush(Field);
    p.drawRoundedRect(badge, 6, 6);

    const QFont small = textFont(12, QFont::Normal);
    const QFont strong = textFont(15, QFont::Bold);
    const QString lead = QStringLiteral("Built with ");
    const QString name = QStringLiteral("Qt");
    const qreal width = QFontMetricsF(small).horizontalAdvance(lead) +
                        QFontMetricsF(strong).horizontalAdvance(name);
    const qreal x = badge.center().x() - width / 2.0;
    const qreal baseline = 19.5;
    p.setFont(small);
    p.setPen(White);
    p.drawText(QPointF(x, baseline), lead);
    p.setFont(strong);
    p.setPen(Orange);
    p.drawText(QPointF(x + QFontMetricsF(small).horizontalAdvance(lead), baseline), name);
}

void infinityButton(QPainter &p)
{
    p.setPen(QPen(QColor("#5a5a5a"), 1.0));
    p.setBrush(Field);
    p.drawRoundedRect(QRectF(1.5, 1.5, 37, 37), 6, 6);

    // Lemniscate of Bernoulli, sampled finely enough to look smooth at this size.
    QPainterPath sign;
    const qreal a = 13.0;
    const int steps = 180;
    for (int i = 0; i <= steps; ++i) {
        const qreal t = 2.0 * M_PI * i / steps;
        const qreal d = 1.0 + qSin(t) * qSin(t);
        const QPointF pt(20 + a * qCos(t) / d, 20 + a * qSin(t) * qCos(t) / d * 1.25);
        if (i == 0)
            sign.moveTo(pt);
        else
            sign.lineTo(pt);
    }
    sign.closeSubpath();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(White, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(sign);
}

void checkboxUnchecked(QPainter &p)
{
    p.setPen(QPen(LightGrey, 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(2, 2, 16, 16), 3, 3);
}

void checkboxChecked(QPainter &p)
{
    p.setPen(QPen(Orange, 2.0));
    p.setBrush(Orange);
    p.drawRoundedRect(QRectF(2, 2, 16, 16), 3, 3);
    QPainterPath tick;
    tick.moveTo(5.5, 10.5);
    tick.lineTo(8.7, 13.7);
    tick.lineTo(14.8, 6.6);
    p.setPen(QPen(QColor("#303030"), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
}

} // namespace

int main(int argc, char **argv)
{
    // Drawing needs fonts but no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = app.arguments();
    if (args.size() != 2) {
        QTextStream(stderr) << "usage: make_artwork <resources directory>\n";
        return 2;
    }
    const QDir out(args.at(1));
    if (!out.mkpath(QStringLiteral("images")) || !out.mkpath(QStringLiteral("icons"))) {
        QTextStream(stderr) << "cannot create folders under " << out.path() << '\n';
        return 1;
    }
    const auto images = [&out](const char *file) {
        return out.filePath(QStringLiteral("images/") + file);
    };
    const auto icons = [&out](const char *file) {
        return out.filePath(QStringLiteral("icons/") + file);
    };

    bool ok = true;
    ok &= writeImage(images("USBConnectedGreen.png"), QSize(30, 30), usbConnected);
    ok &= writeImage(images("USBUnconnected.png"), QSize(30, 30), usbUnconnected);
    for (int frame = 0; frame < 8; ++frame) {
        const QString file = out.filePath(QStringLiteral("images/WaitSlide%1.png").arg(frame));
        ok &= writeImage(file, QSize(30, 30), [frame](QPainter &p) { waitSlide(p, frame); });
    }
    ok &= writeImage(images("Logo.png"), QSize(230, 60), logo);
    ok &= writeImage(images("BuiltWithQt.png"), QSize(120, 30), builtWithQt);
    ok &= writeImage(icons("Inf_Unpressed.png"), QSize(40, 40), infinityButton);
    ok &= writeImage(icons("Checkbox_Uncheched.png"), QSize(20, 20), checkboxUnchecked);
    ok &= writeImage(icons("Checkbox_Cheched.png"), QSize(20, 20), checkboxChecked);
    return ok ? 0 : 1;
}
