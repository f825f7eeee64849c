#include "app/ConfigurationPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
QGroupBox* InstrumentGroup(const QString& caption, const QString& prefix, QLineEdit*& edit,
                           QPushButton*& button, QCheckBox*& check, QWidget* parent) {
    auto* group = new QGroupBox(caption, parent);
    group->setObjectName(QStringLiteral("GroupBox") + prefix);
    auto* grid = new QGridLayout(group);
    auto* label = new QLabel(QStringLiteral("COM port"), group);
    edit = new QLineEdit(group);
    button = new QPushButton(QStringLiteral("Validate instrument"), group);
    check = new QCheckBox(QStringLiteral("Validated"), group);
    check->setEnabled(false); // display only: the program records validation here
    label->setBuddy(edit);
    grid->addWidget(label, 0, 0);
    grid->addWidget(edit, 0, 1);
    grid->addWidget(button, 1, 0, 1, 2);
    grid->addWidget(check, 2, 0, 1, 2);
    // Wide enough for a full device path such as /dev/serial/by-id/… or a simulator's port; the
    // whole path is in the tooltip when it is longer still.
    group->setFixedWidth(250);
    QObject::connect(edit, &QLineEdit::textChanged, edit,
                     [edit](const QString& text) { edit->setToolTip(text); });
    return group;
}
} // namespace

TConfigurationPage::TConfigurationPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TabSheetInstruments"));
    auto* smu = InstrumentGroup(QStringLiteral("SourceMeter 2401"), QStringLiteral("SMU"), EditSMUCOMPort,
                                ButtonSMUTest, CheckBoxSMUValidated, this);
    auto* dmm = InstrumentGroup(QStringLiteral("MultiMeter 2000"), QStringLiteral("2000"), Edit2000COMPort,
                                Button2000Test, CheckBox2000Validated, this);
    EditSMUCOMPort->setObjectName(QStringLiteral("EditSMUCOMPort"));
    ButtonSMUTest->setObjectName(QStringLiteral("ButtonSMUTest"));
    CheckBoxSMUValidated->setObjectName(QStringLiteral("CheckBoxSMUValidated"));
    Edit2000COMPort->setObjectName(QStringLiteral("Edit2000COMPort"));
    Button2000Test->setObjectName(QStringLiteral("Button2000Test"));
    CheckBox2000Validated->setObjectName(QStringLiteral("CheckBox2000Validated"));

    MemoConfLog = new QPlainTextEdit(this);
    MemoConfLog->setObjectName(QStringLiteral("MemoConfLog"));
    MemoConfLog->setReadOnly(true);
    MemoConfLog->setMaximumBlockCount(kMaxLogLines);
    MemoConfLog->setPlainText(QStringLiteral("For best performance a dedicated serial port connection to "
                                             "both instruments through virtual COM port "
                                             "using RS232 wiring.\n"
                                             "\n"
                                             "Set up instruments with: Communication: RS-232, no parity, no "
                                             "flow control, 8 bits, CR as terminator. "
                                             "19200 baud for Multimeter, 57600 baud \n"
                                             "for SMU"));

    auto* monitor = new QGroupBox(QStringLiteral("Web monitor (read-only)"), this);
    monitor->setObjectName(QStringLiteral("GroupBoxMonitor"));
    auto* m = new QGridLayout(monitor);
    CheckBoxMonitor = new QCheckBox(QStringLiteral("Serve the web monitor"), monitor);
    CheckBoxMonitor->setObjectName(QStringLiteral("CheckBoxMonitor"));
    EditMonitorAddress = new QLineEdit(monitor);
    EditMonitorAddress->setObjectName(QStringLiteral("EditMonitorAddress"));
    EditMonitorAddress->setToolTip(QStringLiteral("127.0.0.1: this computer only; 0.0.0.0: every network "
                                                  "(a browser must then give the token)"));
    SpinMonitorPort = new QSpinBox(monitor);
    SpinMonitorPort->setObjectName(QStringLiteral("SpinMonitorPort"));
    SpinMonitorPort->setRange(1, 65535);
    SpinMonitorPort->setValue(8080);
    EditMonitorToken = new QLineEdit(monitor);
    EditMonitorToken->setObjectName(QStringLiteral("EditMonitorToken"));
    EditMonitorToken->setReadOnly(true);
    ButtonMonitorNewToken = new QPushButton(QStringLiteral("New token"), monitor);
    ButtonMonitorNewToken->setObjectName(QStringLiteral("ButtonMonitorNewToken"));
    LabelMonitorState = new QLabel(monitor);
    LabelMonitorState->setObjectName(QStringLiteral("LabelMonitorState"));
    LabelMonitorState->setWordWrap(true);
    LabelMonitorState->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m->addWidget(CheckBoxMonitor, 0, 0, 1, 2);
    m->addWidget(new QLabel(QStringLiteral("Address"), monitor), 1, 0);
    m->addWidget(EditMonitorAddress, 1, 1);
    m->addWidget(new QLabel(QStringLiteral("Port"), monitor), 2, 0);
    m->addWidget(SpinMonitorPort, 2, 1);
    m->addWidget(new QLabel(QStringLiteral("Token"), monitor), 3, 0);
    m->addWidget(EditMonitorToken, 3, 1);
    m->addWidget(ButtonMonitorNewToken, 4, 1);
    m->addWidget(LabelMonitorState, 5, 0, 1, 2);
    monitor->setFixedWidth(506);

    auto* row = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* instruments = new QHBoxLayout;
    instruments->addWidget(smu, 0, Qt::AlignTop);
    instruments->addWidget(dmm, 0, Qt::AlignTop);
    left->addLayout(instruments);
    left->addWidget(monitor);
    left->addStretch(1);
    row->addLayout(left);
    row->addWidget(MemoConfLog, 1);
}

QString TConfigurationPage::CutForLog(const QString& text) {
    if (text.size() <= kMaxLogLine)
        return text;
    return text.left(kMaxLogLine) +
           QStringLiteral(" … (%1 more characters not shown)").arg(text.size() - kMaxLogLine);
}

void TConfigurationPage::AppendLog(const QString& line) {
    // A line laid out by the memo costs time by its length: a megabyte-long one (a path read from
    // a damaged file) would hold the window for minutes.
    MemoConfLog->appendPlainText(CutForLog(line));
}
