#pragma once

#include <QMessageBox>
#include <QPoint>
#include <QString>

class QWidget;

// The one themed message box with a single OK button. With an anchor the box is centred
// horizontally on it, 150 pixels below its top; the call returns when the user presses OK.
void popupMessage(const QString &text, const QString &title, QMessageBox::Icon icon,
                  QWidget *anchor);

// The position popupMessage gives a box of boxWidth on the anchor; shared so the placement
// rule is stated once.
QPoint popupMessagePosition(const QWidget *anchor, int boxWidth);
