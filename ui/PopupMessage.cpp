#include "ui/PopupMessage.h"

#include "ui/Theme.h"

#include <QPointer>
#include <QPushButton>
#include <QWidget>

namespace {

// QMessageBox settles its final size only when it is shown (it wraps long texts and grows for
// the icon), so a box placed from the width it had before would sit off-centre. Placing it again
// at show time, before the window is mapped, centres it on the width the user actually sees.
class AnchoredMessageBox : public QMessageBox
{
public:
    explicit AnchoredMessageBox(QWidget *anchor) : m_anchor(anchor) {}

protected:
    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event);
        if (m_anchor)
            move(popupMessagePosition(m_anchor, width()));
    }

private:
    QPointer<QWidget> m_anchor;
};

} // namespace

QPoint popupMessagePosition(const QWidget *anchor, int boxWidth)
{
    return QPoint(anchor->x() + anchor->width() / 2 - boxWidth / 2, anchor->y() + 150);
}

void popupMessage(const QString &text, const QString &title, QMessageBox::Icon icon,
                  QWidget *anchor)
{
    // No parent: the box is a window of its own and takes only the dialog style, not the style
    // sheet of the page that raised it.
    AnchoredMessageBox box(anchor);
    box.setWindowTitle(title);
    box.setText(text);
    box.setIcon(icon);
    applyDialogStyle(&box);
    QPushButton *ok = box.addButton(QMessageBox::Ok);
    applyButtonStyle(ok);
    ok->setFixedSize(100, 30);
    box.adjustSize();
    if (anchor)
        box.move(popupMessagePosition(anchor, box.width()));
    box.exec();
}
