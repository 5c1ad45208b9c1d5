#include "ui/Theme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPixmapCache>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace {

// The palette, declared once. Colours stay lower case so sheets compare equal as text.
const char *const WindowBlue = "#0d47a1";
const char *const PageGrey = "#303030";
const char *const FieldGrey = "#434343";
const char *const Highlight = "#ff9100";
const char *const PressedGrey = "#a0a0a0";
const char *const CaptionGrey = "#c7c7c7";
const char *const TextWhite = "#ffffff";
// The station's verdict, readable from across the bench.
const char *const PassGreen = "#2e7d32";
const char *const FailRed = "#c62828";

const char *const ImagePrefix = ":/images/images/";
const char *const IconPrefix = ":/images/icons/";

QString decl(const char *property, const QString &value)
{
    return QLatin1String(property) + QLatin1String(": ") + value + QLatin1Char(';');
}

QString decl(const char *property, const char *value)
{
    return decl(property, QLatin1String(value));
}

QString rule(const char *selector, const QString &declarations)
{
    return QLatin1String(selector) + QLatin1Char('{') + declarations + QLatin1Char('}');
}

QString fontSize(int px)
{
    return decl("font-size", QString::number(px) + QLatin1String("px"));
}

// Solid one-pixel frame in the field colour: shared by the field groups and their parts.
QString fieldFrame()
{
    return decl("border-color", FieldGrey) + decl("border-style", "solid") +
           decl("border-width", "1px");
}

QString plainLabel(int px, const char *colour)
{
    return rule("QLabel", fontSize(px) + decl("color", colour) + decl("border-width", "0px"));
}

QString navButton(const char *textColour, const char *underline)
{
    QString declarations = fontSize(12) + decl("color", textColour) +
                           decl("background-color", WindowBlue) + decl("border-style", "solid") +
                           decl("border-width", "3px") + decl("border-color", WindowBlue);
    if (underline)
        declarations += decl("border-bottom-color", underline);
    return rule("QPushButton", declarations);
}

QString fieldGroupBox(const char *underline)
{
    return rule("QGroupBox", decl("background-color", FieldGrey) + fieldFrame() +
                                 decl("border-bottom-color", underline) +
                                 decl("border-top-left-radius", "3px") +
                                 decl("border-top-right-radius", "3px"));
}

QString fieldCaption(const char *colour)
{
    return rule("QLabel", fontSize(12) + decl("color", colour) +
                              decl("background-color", FieldGrey) + fieldFrame());
}

QString fieldInput(const char *selector)
{
    return rule(selector, fontSize(14) + decl("color", TextWhite) +
                              decl("background-color", FieldGrey) + fieldFrame());
}

QString comboInput()
{
    // The popup list's selector keeps its blank after the name; it has always been written so.
    return fieldInput("QComboBox") + QLatin1String("QListView { ") + decl("color", TextWhite) +
           QLatin1Char('}');
}

// A combo field shows its choice like a line edit, but the text must only ever come from the list.
void prepareCombo(QComboBox *comboBox)
{
    comboBox->setEditable(true);
    QLineEdit *edit = comboBox->lineEdit();
    edit->setReadOnly(true);
    edit->setAlignment(Qt::AlignVCenter);
}

void applyComboGroup(QGroupBox *groupBox, QLabel *caption, QComboBox *comboBox,
                     const char *underline, const char *captionColour)
{
    groupBox->setStyleSheet(fieldGroupBox(underline));
    caption->setStyleSheet(fieldCaption(captionColour));
    prepareCombo(comboBox);
    comboBox->setStyleSheet(comboInput());
}

void applyEditGroup(QGroupBox *groupBox, QLabel *caption, QLineEdit *lineEdit,
                    const char *underline, const char *captionColour)
{
    groupBox->setStyleSheet(fieldGroupBox(underline));
    caption->setStyleSheet(fieldCaption(captionColour));
    lineEdit->setAlignment(Qt::AlignVCenter);
    lineEdit->setStyleSheet(fieldInput("QLineEdit"));
}

void setResourcePixmap(QLabel *label, const QString &path)
{
    // A missing resource yields a null pixmap, which clears the label rather than keeping a stale
    // picture. The wait frames are set between device commands on the GUI thread; loading them
    // through QPixmap(path) costs file look-ups on every frame, so each path is loaded once.
    QPixmap pixmap;
    if (!QPixmapCache::find(path, &pixmap)) {
        pixmap = QPixmap(path);
        if (!pixmap.isNull())
            QPixmapCache::insert(path, pixmap);
    }
    label->setPixmap(pixmap);
}

} // namespace

void applyMainWindowStyle(QWidget *widget)
{
    widget->setStyleSheet(rule("QWidget", decl("background-color", WindowBlue)));
}

void applyPageStyle(QWidget *widget)
{
    widget->setStyleSheet(rule("QWidget", decl("background-color", PageGrey)));
}

void applyDialogStyle(QWidget *widget)
{
    widget->setStyleSheet(rule("QWidget", fontSize(14) + decl("color", TextWhite) +
                                              decl("background-color", PageGrey)));
}

void applyVerdictStyle(QLabel *label, bool pass)
{
    label->setStyleSheet(rule("QLabel", fontSize(72) + decl("font-weight", "bold") +
                                            decl("color", TextWhite) +
                                            decl("background-color", pass ? PassGreen : FailRed)));
}

void applyButtonStyle(QPushButton *button)
{
    button->setStyleSheet(rule("QPushButton", fontSize(12) + decl("color", TextWhite) +
                                                  decl("background-color", FieldGrey)));
}

void applyNavButtonStyle(QPushButton *button)
{
    button->setStyleSheet(navButton(TextWhite, nullptr));
}

void applyNavButtonPressedStyle(QPushButton *button)
{
    button->setStyleSheet(navButton(PressedGrey, PressedGrey));
}

void applyNavButtonSelectedStyle(QPushButton *button)
{
    button->setStyleSheet(navButton(Highlight, Highlight));
}

void applyCheckBoxStyle(QCheckBox *checkBox)
{
    const auto indicator = [](const char *state, const char *file) {
        const QString url =
            QLatin1String("url(") + QLatin1String(IconPrefix) + QLatin1String(file) + ')';
        return rule(state, decl("image", url));
    };
    checkBox->setStyleSheet(rule("QCheckBox", fontSize(16) + decl("color", TextWhite)) +
                            indicator("QCheckBox::indicator:unchecked", "Checkbox_Uncheched.png") +
                            indicator("QCheckBox::indicator:checked", "Checkbox_Cheched.png"));
}

void applyFrameGroupStyle(QGroupBox *groupBox)
{
    groupBox->setStyleSheet(
        rule("QGroupBox", fontSize(12) + decl("color", TextWhite) + decl("text-align", "top") +
                              decl("background-color", PageGrey) + fieldFrame()));
}

void applyLabelStyle(QLabel *label)
{
    label->setStyleSheet(plainLabel(12, TextWhite));
}

void applyLargeLabelStyle(QLabel *label)
{
    label->setStyleSheet(plainLabel(14, TextWhite));
}

void applyCaptionStyle(QLabel *label)
{
    label->setStyleSheet(plainLabel(12, CaptionGrey));
}

void applyComboGroupStyle(QGroupBox *groupBox, QLabel *caption, QComboBox *comboBox)
{
    // An idle combo field has no visible underline: its bottom border takes the field colour.
    applyComboGroup(groupBox, caption, comboBox, FieldGrey, CaptionGrey);
}

void applyComboGroupFocusStyle(QGroupBox *groupBox, QLabel *caption, QComboBox *comboBox)
{
    applyComboGroup(groupBox, caption, comboBox, Highlight, Highlight);
}

void applyEditGroupStyle(QGroupBox *groupBox, QLabel *caption, QLineEdit *lineEdit)
{
    applyEditGroup(groupBox, caption, lineEdit, CaptionGrey, CaptionGrey);
}

void applyEditGroupFocusStyle(QGroupBox *groupBox, QLabel *caption, QLineEdit *lineEdit)
{
    applyEditGroup(groupBox, caption, lineEdit, Highlight, Highlight);
}

void setUsbConnectedIcon(QLabel *label)
{
    setResourcePixmap(label, QLatin1String(ImagePrefix) + QLatin1String("USBConnectedGreen.png"));
}

void setUsbDisconnectedIcon(QLabel *label)
{
    setResourcePixmap(label, QLatin1String(ImagePrefix) + QLatin1String("USBUnconnected.png"));
}

void setWaitSlide(QLabel *label, int frame)
{
    setResourcePixmap(label, QLatin1String(ImagePrefix) + QLatin1String("WaitSlide") +
                                 QString::number(frame) + QLatin1String(".png"));
}
