#include "app/DebugPage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TDebugPage::TDebugPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TabSheetDebug"));
    auto* column = new QWidget(this);
    column->setFixedWidth(220);
    auto* buttons = new QVBoxLayout(column);
    buttons->addWidget(new QLabel(QStringLiteral("Immediate effect on click"), column));
    const auto button = [&](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromUtf8(caption), column);
        b->setObjectName(QString::fromLatin1(name));
        buttons->addWidget(b);
        return b;
    };
    ButtonSaveTest = button("ButtonSaveTest", "Manual save");
    ButtonDeleteData = button("ButtonDeleteData", "Delete first 100 points of data");
    ButtonDeleteAllData = button("ButtonDeleteAllData", "Clear all data graph and grid");
    ButtonPPSUp = button("ButtonPPSUp", "Override PPS with Up");
    ButtonPPSDown = button("ButtonPPSDown", "Override PPS with Down");
    buttons->addStretch(1);
    auto* logs = new QGroupBox(QStringLiteral("Log messages"), column);
    logs->setObjectName(QStringLiteral("GroupBoxLogMessages"));
    auto* logLayout = new QVBoxLayout(logs);
    CheckBoxLogSMUThread = new QCheckBox(QStringLiteral("SMU thread"), logs);
    CheckBoxLogSMUThread->setObjectName(QStringLiteral("CheckBoxLogSMUThread"));
    logLayout->addWidget(CheckBoxLogSMUThread);
    buttons->addWidget(logs);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::Monospace);
    Memo1->setFont(fixed);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(column);
    layout->addWidget(Memo1, 1);
}
