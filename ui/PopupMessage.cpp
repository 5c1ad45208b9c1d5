#include "ui/PopupMessage.h"

#include "ui/Theme.h"

#include <QPushButton>
#include <QWidget>

QPoint popupMessagePosition(const QWidget *anchor, int boxWidth)
{
    return QPoint(anchor->x() + anchor->width() / 2 - boxWidth / 2, anchor->y() + 150);
}

void popupMessage(const QString &text, const QString &title, QMessageBox::Icon icon,
                  QWidget *anchor)
{
    // No parent: the box must not inherit the page's style sheet, and it outlives a page that is
    // deleted while it is open.
    QMessageBox box;
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
