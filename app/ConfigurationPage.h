#pragma once
// The "Configuration" page: the ports of both instruments, their validation buttons and the
// configuration memo that receives the validation and port-listing messages; below the
// instruments, the web monitor's switch, address, port and token.
#include <QWidget>

class QLabel;
class QSpinBox;

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

    QCheckBox* CheckBoxMonitor;    // serve the web monitor
    QLineEdit* EditMonitorAddress; // the address it listens on
    QSpinBox* SpinMonitorPort;
    QLineEdit* EditMonitorToken; // read-only: the token a browser must present
    QPushButton* ButtonMonitorNewToken;
    QLabel* LabelMonitorState; // where to open it, or why it does not run

    // Appends one line at the end of the configuration memo.
    // Appends a line to the log memo, cut to kMaxLogLine characters; the memo keeps the last
    // kMaxLogLines lines.
    void AppendLog(const QString& line);
    static QString CutForLog(const QString& text);
    static constexpr int kMaxLogLine = 2000;
    static constexpr int kMaxLogLines = 5000;
};
