#pragma once
// The "Debug" page: service buttons and the memo that receives the PID diagnostics.
#include <QWidget>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

class TDebugPage : public QWidget {
    Q_OBJECT
public:
    explicit TDebugPage(QWidget* parent = nullptr);

    QPushButton* ButtonSaveTest;
    QPushButton* ButtonDeleteData;
    QPushButton* ButtonDeleteAllData;
    QPushButton* ButtonPPSUp;
    QPushButton* ButtonPPSDown;
    QCheckBox* CheckBoxLogSMUThread;
    QPlainTextEdit* Memo1;
};
