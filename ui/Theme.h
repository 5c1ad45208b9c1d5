#pragma once

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The dark theme: each function replaces the whole style sheet of the widgets it is given, so the
// normal and highlighted variants of a pair switch the look back completely.
void applyMainWindowStyle(QWidget *widget);
void applyPageStyle(QWidget *widget);
void applyDialogStyle(QWidget *widget);
void applyButtonStyle(QPushButton *button);
void applyNavButtonStyle(QPushButton *button);
void applyNavButtonPressedStyle(QPushButton *button);
void applyNavButtonSelectedStyle(QPushButton *button);
void applyCheckBoxStyle(QCheckBox *checkBox);
void applyFrameGroupStyle(QGroupBox *groupBox);
void applyLabelStyle(QLabel *label);
void applyLargeLabelStyle(QLabel *label);
void applyCaptionStyle(QLabel *label);
// The station's big PASS or FAIL.
void applyVerdictStyle(QLabel *label, bool pass);

void applyComboGroupStyle(QGroupBox *groupBox, QLabel *caption, QComboBox *comboBox);
void applyComboGroupFocusStyle(QGroupBox *groupBox, QLabel *caption, QComboBox *comboBox);
void applyEditGroupStyle(QGroupBox *groupBox, QLabel *caption, QLineEdit *lineEdit);
void applyEditGroupFocusStyle(QGroupBox *groupBox, QLabel *caption, QLineEdit *lineEdit);

void setUsbConnectedIcon(QLabel *label);
void setUsbDisconnectedIcon(QLabel *label);
void setWaitSlide(QLabel *label, int frame);
