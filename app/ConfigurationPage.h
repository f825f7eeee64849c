#pragma once
// The "Configuration" page: the ports of both instruments, their validation buttons and the
// configuration memo that receives the validation and port-listing messages.
#include <QWidget>

class QLineEdit;
class QPushButton;
class QCheckBox;
class QPlainTextEdit;

class TConfigurationPage : public QWidget {
    Q_OBJECT
public:
    explicit TConfigurationPage(QWidget* parent = nullptr);

    QLineEdit* EditSMUCOMPort;
    QPushButton* ButtonSMUTest;
    QCheckBox* CheckBoxSMUValidated;
    QLineEdit* Edit2000COMPort;
    QPushButton* Button2000Test;
    QCheckBox* CheckBox2000Validated;
    QPlainTextEdit* MemoConfLog;

    // Appends one line at the end of the configuration memo.
    void AppendLog(const QString& line);
};
