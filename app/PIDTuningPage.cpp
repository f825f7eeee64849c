#include "app/PIDTuningPage.h"

#include "app/TRtDoubleEdit.h"
#include "common/Dialogs.h"
#include "common/ProgramFolder.h"
#include "control/EPIDListError.h"
#include "control/TPID.h"
#include "control/TPIDList.h"
#include "control/TRunState.h"
#include "diagnostics/EventLog.h"
#include "experiment/TExperimentModel.h"
#include "numerics/EMathError.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <vector>

namespace {

const QString kFilter = QStringLiteral("Text file (*.txt)");
// Samples per curve across the X axis: one every 0.025 decade, smooth at any plot width.
constexpr int kCurveSamples = 1001;

QFont FixedPitchFont() {
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::Monospace);
    fixed.setFixedPitch(true);
    return fixed;
}

template <class T> T* Named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// A list title made fit to be proposed as a file name inside the "PID" folder: characters that
// would lead into another folder or that file systems refuse become underscores.
QString FileNamePart(const QString& text) {
    QString out = text.trimmed();
    for (QChar& c : out)
        if (c.unicode() < 0x20 || QStringLiteral("\\/:*?\"<>|").contains(c))
            c = u'_';
    return out;
}

QString WithTextSuffix(const QString& file) {
    return QFileInfo(file).suffix().isEmpty() ? file + QStringLiteral(".txt") : file;
}

} // namespace

TPIDTuningPage::TPIDTuningPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TabSheetPID"));

    auto* top = new QHBoxLayout;
    top->addWidget(BuildListGroup(), 1);
    top->addWidget(BuildTestGroup(), 0);
    auto* page = new QVBoxLayout(this);
    page->addLayout(top, 0);
    page->addWidget(BuildPlot(), 1);

    connect(ButtonPIDApply, &QPushButton::clicked, this, &TPIDTuningPage::ButtonPIDApplyClick);
    connect(ButtonPIDDeleteLast, &QPushButton::clicked, this, &TPIDTuningPage::ButtonPIDDeleteLastClick);
    connect(ButtonDeselect, &QPushButton::clicked, this, &TPIDTuningPage::ButtonDeselectClick);
    connect(ButtonPIDSaveAs, &QPushButton::clicked, this, &TPIDTuningPage::ButtonPIDSaveAsClick);
    connect(ButtonPIDLoad, &QPushButton::clicked, this, &TPIDTuningPage::ButtonPIDLoadClick);
    connect(ButtonTabPID, &QPushButton::clicked, this, &TPIDTuningPage::ButtonTabPIDClick);
    connect(ListBox1, &QListWidget::itemClicked, this, &TPIDTuningPage::ListBox1Click);
    connect(ListBox1, &QListWidget::currentRowChanged, this, &TPIDTuningPage::ListBox1CurrentRowChanged);
    // The test value and the elasticity answer as they are typed: the run reads neither until the
    // table is applied.
    RtDoubleEdit1->SetTakesAsTyped(true);
    RtDoubleEdit2->SetTakesAsTyped(true);
    connect(RtDoubleEdit1, &TRtDoubleEdit::keyReleased, this, &TPIDTuningPage::Test);
    connect(RtDoubleEdit2, &TRtDoubleEdit::keyReleased, this, &TPIDTuningPage::Test);
}

QWidget* TPIDTuningPage::BuildListGroup() {
    auto* group = Named(new QGroupBox(QStringLiteral("PID calibration"), this), "GroupBoxPIDCalibration");
    const QFont fixed = FixedPitchFont();
    ListBox1 = Named(new QListWidget(group), "ListBox1");
    ListBox1->setFont(fixed);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Room for the numbers of a row and most of its notes beside the scroll bar (a row is 70
    // characters; the rest scrolls), so the page fits the window's 1055 pixels.
    const QFontMetrics metrics(fixed);
    ListBox1->setMinimumWidth(metrics.horizontalAdvance(QString(62, u'0')) +
                              ListBox1->verticalScrollBar()->sizeHint().width() + 8);
    ListBox1->setMinimumHeight(metrics.lineSpacing() * 18);

    const auto intBox = [&](const char* name, int width) {
        auto* box = Named(new TRtIntegerEdit(group), name);
        box->SetLimits(TPIDList::MinField, TPIDList::MaxField);
        box->setFixedWidth(width);
        return box;
    };
    RtIntegerEditPIDPO2 = intBox("RtIntegerEditPIDPO2", 52);
    RtIntegerEditPIDP = intBox("RtIntegerEditPIDP", 64);
    RtIntegerEditPIDI = intBox("RtIntegerEditPIDI", 64);
    RtIntegerEditPIDD = intBox("RtIntegerEditPIDD", 64);
    RtIntegerEditPIDA = intBox("RtIntegerEditPIDA", 64);
    EditPIDNotes = Named(new QLineEdit(group), "EditPIDNotes");
    EditPIDNotes->setMinimumWidth(100);
    RtDoubleEdit2 = Named(new TRtDoubleEdit(group, 1.0), "RtDoubleEdit2");
    RtDoubleEdit2->setFixedWidth(70);

    auto* editors = new QGridLayout;
    editors->setHorizontalSpacing(6);
    editors->setVerticalSpacing(2);
    const std::pair<const char*, QWidget*> columns[] = {
        {"log(pO2)", RtIntegerEditPIDPO2},  {"Proportional", RtIntegerEditPIDP},
        {"Integral", RtIntegerEditPIDI},    {"Derivate", RtIntegerEditPIDD},
        {"Current, µA", RtIntegerEditPIDA}, {"Notes", EditPIDNotes},
        {"Elasticity", RtDoubleEdit2},
    };
    int col = 0;
    for (const auto& [caption, box] : columns) {
        auto* label = new QLabel(QString::fromUtf8(caption), group);
        label->setBuddy(box);
        editors->addWidget(label, 0, col);
        editors->addWidget(box, 1, col);
        ++col;
    }
    editors->setColumnStretch(5, 1);

    const auto button = [&](const char* name, const char* caption) {
        return Named(new QPushButton(QString::fromUtf8(caption), group), name);
    };
    ButtonPIDApply = button("ButtonPIDApply", "Apply or Add");
    ButtonPIDDeleteLast = button("ButtonPIDDeleteLast", "Delete last");
    ButtonDeselect = button("ButtonDeselect", "Deselect");
    ButtonPIDSaveAs = button("ButtonPIDSaveAs", "Save as");
    ButtonPIDLoad = button("ButtonPIDLoad", "Load");
    ButtonTabPID = button("ButtonTabPID", "PID to Debug log");
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {ButtonPIDApply, ButtonPIDDeleteLast, ButtonDeselect})
        buttons->addWidget(b);
    buttons->addSpacing(16);
    for (QPushButton* b : {ButtonPIDSaveAs, ButtonPIDLoad})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(ButtonTabPID);

    auto* layout = new QVBoxLayout(group);
    layout->addWidget(ListBox1, 1);
    layout->addLayout(editors);
    layout->addLayout(buttons);
    return group;
}

QWidget* TPIDTuningPage::BuildTestGroup() {
    auto* group =
        Named(new QGroupBox(QStringLiteral("Test interpolation and hard limit"), this), "GroupBoxPIDTest");
    RtDoubleEdit1 = Named(new TRtDoubleEdit(group, 7.0), "RtDoubleEdit1");
    RtDoubleEdit1->setFixedWidth(80);
    auto* label = new QLabel(QStringLiteral("-log(pO2)"), group);
    label->setBuddy(RtDoubleEdit1);
    Memo2 = Named(new QPlainTextEdit(group), "Memo2");
    Memo2->setReadOnly(true);
    Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFont fixed = FixedPitchFont();
    Memo2->setFont(fixed);
    const QFontMetrics metrics(fixed);
    // "Hard limit µA: 5000.0" and longer values, beside a scroll bar.
    Memo2->setMinimumWidth(metrics.horizontalAdvance(QString(26, u'0')) + 24);

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(RtDoubleEdit1);
    row->addStretch(1);
    auto* layout = new QVBoxLayout(group);
    layout->addLayout(row);
    layout->addWidget(Memo2, 1);
    return group;
}

QCustomPlot* TPIDTuningPage::BuildPlot() {
    RtGraph2D2 = Named(new QCustomPlot(this), "RtGraph2D2");
    RtGraph2D2->setMinimumHeight(300);
    RtGraph2D2->xAxis->setLabel(QStringLiteral("-log(pO2)"));
    RtGraph2D2->xAxis->setRange(0, TPIDCalib::Decades);
    RtGraph2D2->yAxis->setLabel(QStringLiteral("Value"));
    RtGraph2D2->yAxis->setRange(0, 1);

    const auto curve = [&](const char* name, const char* caption, const QColor& colour) {
        QCPGraph* g = RtGraph2D2->addGraph();
        g->setObjectName(QLatin1String(name));
        g->setName(QString::fromUtf8(caption));
        g->setPen(QPen(colour, 2));
        g->setLineStyle(QCPGraph::lsLine);
        return g;
    };
    RtInterpolation1 = curve("RtInterpolation1", "Proportional", QColor(0, 128, 0));
    RtInterpolation2 = curve("RtInterpolation2", "Integral", QColor(0, 0, 200));
    RtInterpolation3 = curve("RtInterpolation3", "Derivate", QColor(200, 120, 0));
    RtInterpolation4 = curve("RtInterpolation4", "Current limit, µA", QColor(200, 0, 0));
    // Equal gains draw one curve over the other; dashes keep the lower ones visible.
    RtInterpolation2->setPen(QPen(QColor(0, 0, 200), 2, Qt::DashLine));
    RtInterpolation3->setPen(QPen(QColor(200, 120, 0), 2, Qt::DotLine));
    RtPointSeries1 = RtGraph2D2->addGraph();
    RtPointSeries1->setObjectName(QStringLiteral("RtPointSeries1"));
    RtPointSeries1->setName(QStringLiteral("Current, µA"));
    RtPointSeries1->setLineStyle(QCPGraph::lsNone);
    RtPointSeries1->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, QColor(200, 0, 0), 7));

    // The legend above the plot area, where it hides no curve.
    QCPLegend* legend = RtGraph2D2->legend;
    legend->setVisible(true);
    legend->setBorderPen(Qt::NoPen);
    legend->setBrush(Qt::NoBrush);
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend->setWrap(3); // two rows, so the legend never sets the window's width
    legend->setMargins(QMargins(12, 4, 12, 0));
    RtGraph2D2->plotLayout()->insertRow(0);
    RtGraph2D2->plotLayout()->addElement(0, 0, legend);
    RtGraph2D2->plotLayout()->setRowStretchFactor(0, 0.001);
    return RtGraph2D2;
}

void TPIDTuningPage::SetModeButtons(QRadioButton* pidSet, QRadioButton* pidStep) {
    fPIDSet = pidSet;
    fPIDStep = pidStep;
}

void TPIDTuningPage::SetDebugMemo(QPlainTextEdit* memo) {
    fDebugMemo = memo;
}

void TPIDTuningPage::SetModel(TExperimentModel* model) {
    if (fModel)
        disconnect(fModel, nullptr, this, nullptr);
    fModel = model;
    if (fModel)
        connect(fModel, &TExperimentModel::PIDListChanged, this, &TPIDTuningPage::ShowList);
    ShowList();
}

TRunState* TPIDTuningPage::Run() const {
    return fModel ? &fModel->Run() : nullptr;
}

const TPIDListContent& TPIDTuningPage::List() const {
    static const TPIDListContent kNone;
    return fModel ? fModel->PIDList() : kNone;
}

QStringList TPIDTuningPage::Lines() const {
    return fModel ? fModel->PIDList().Lines() : QStringList();
}

int TPIDTuningPage::SelectedIndex() const {
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    return selected.isEmpty() ? -1 : ListBox1->row(selected.first());
}

void TPIDTuningPage::SetList(const TPIDListContent& list) {
    if (fModel)
        fModel->SetPIDList(list);
}

void TPIDTuningPage::ShowList() {
    const QStringList lines = Lines();
    const QSignalBlocker block(ListBox1);
    while (ListBox1->count() > lines.size())
        delete ListBox1->takeItem(ListBox1->count() - 1);
    for (int i = 0; i < lines.size(); ++i) {
        if (i >= ListBox1->count())
            ListBox1->addItem(lines[i]);
        else if (ListBox1->item(i)->text() != lines[i])
            ListBox1->item(i)->setText(lines[i]);
    }
}

bool TPIDTuningPage::LoadList(const QString& path) {
    try {
        TPIDListFile::TEncoding encoding = TPIDListFile::TEncoding::CodePage;
        const TPIDListContent list = TPIDListContent::FromLines(TPIDListFile::Read(path, encoding));
        SetList(list);
        fEncoding = encoding;
        // A list loaded is a new list: nothing of it is selected.
        const QSignalBlocker block(ListBox1);
        ListBox1->setCurrentItem(nullptr);
        return true;
    } catch (const EPIDListError& e) {
        // The list stays as it was. The event log keeps it too: the default table is loaded at
        // start-up, before anybody looks.
        LogEvent(QStringLiteral("PID"), QString::fromStdString(e.what()));
        Dialogs().Message(QString::fromStdString(e.what()));
        return false;
    }
}

void TPIDTuningPage::RefreshPlot() {
    QCPGraph* graphs[TPIDTable::CurveCount] = {RtInterpolation1, RtInterpolation2, RtInterpolation3,
                                               RtInterpolation4};
    std::vector<double> xs, ys;
    for (int c = 0; c < TPIDTable::CurveCount; ++c) {
        try {
            fTable.Curve(TPIDTable::TCurve(c)).Sample(0, TPIDCalib::Decades, kCurveSamples, xs, ys);
        } catch (const EMathError&) {
            // Too few points for a curve: nothing is drawn. The build or the test that asked for
            // the curve reports it.
            xs.clear();
            ys.clear();
        }
        graphs[c]->setData(QVector<double>(xs.begin(), xs.end()), QVector<double>(ys.begin(), ys.end()),
                           true);
    }
    const std::vector<double>& px = fTable.X().Values();
    const std::vector<double>& pa = fTable.Y(TPIDTable::CurveA).Values();
    const std::size_t points = std::min(px.size(), pa.size());
    RtPointSeries1->setData(QVector<double>(px.begin(), px.begin() + points),
                            QVector<double>(pa.begin(), pa.begin() + points));
    RtGraph2D2->replot();
}

bool TPIDTuningPage::BuildTable() {
    try {
        double largest = 0;
        try {
            largest = fTable.ReadRows(List(), RtDoubleEdit2->Value());
        } catch (...) {
            RefreshPlot(); // the rows read so far
            throw;
        }
        RtGraph2D2->yAxis->setRange(0, largest > 0 ? 1.15 * largest : 1.0);
        RefreshPlot();
        if (fTable.Y(TPIDTable::CurveA).Count() >= 3)
            RunTest();
        TRunState* run = Run();
        if (!run || !run->PID)
            return false;
        fTable.Fill(run->PID->Calibration);
    } catch (const std::exception& e) {
        Dialogs().Message(QString::fromStdString(e.what()));
        return false;
    }
    for (QRadioButton* b : {fPIDSet, fPIDStep})
        if (b)
            b->setEnabled(true);
    return true;
}

void TPIDTuningPage::RunTest() {
    Memo2->clear();
    TRunState* run = Run();
    TPID* controller = run && run->ProgramState == TProgramState::Uninitialized ? run->PID : nullptr;
    const QStringList lines = fTable.Test(RtDoubleEdit1->Value(), RtDoubleEdit2->Value(), controller);
    Memo2->setPlainText(lines.join(u'\n'));
}

void TPIDTuningPage::Test() {
    try {
        RunTest();
    } catch (const std::exception& e) {
        RefreshPlot();
        Dialogs().Message(QString::fromStdString(e.what()));
        return;
    }
    RefreshPlot(); // the curves follow the elasticity the test gave them
}

void TPIDTuningPage::ButtonPIDApplyClick() {
    if (!fModel)
        return;
    TPIDListContent list = List();
    const TPIDRow row{RtIntegerEditPIDPO2->IntValue(), RtIntegerEditPIDP->IntValue(),
                      RtIntegerEditPIDI->IntValue(),   RtIntegerEditPIDD->IntValue(),
                      RtIntegerEditPIDA->IntValue(),   EditPIDNotes->text()};
    TPIDList::TApplyResult result;
    try {
        result = TPIDList::ApplyOrAdd(list, SelectedIndex(), RtDoubleEdit2->Value(), row);
    } catch (const EPIDListError& e) {
        SetList(list);
        Dialogs().Message(QString::fromStdString(e.what()));
        return;
    }
    SetList(list);
    if (!result.Changed) {
        Dialogs().Message(result.Message);
        return;
    }
    BuildTable();
}

void TPIDTuningPage::ButtonPIDDeleteLastClick() {
    TPIDListContent list = List();
    if (!TPIDList::DeleteLast(list))
        return;
    SetList(list);
    BuildTable();
}

void TPIDTuningPage::ButtonDeselectClick() {
    const QSignalBlocker block(ListBox1);
    ListBox1->clearSelection();
    ListBox1->setCurrentItem(nullptr);
}

void TPIDTuningPage::ListBox1Click() {
    const int index = SelectedIndex();
    if (index < TPIDList::FirstDataLine)
        return;
    try {
        const TPIDListContent& list = List();
        if (index >= list.LineCount())
            return;
        const double elasticity = TPIDList::ParseElasticity(list.ElasticityLine);
        const TPIDRow row = list.Rows[index - TPIDList::FirstDataLine].Values();
        RtDoubleEdit2->SetValue(elasticity);
        RtIntegerEditPIDPO2->SetValue(row.LogPO2);
        RtIntegerEditPIDP->SetValue(row.P);
        RtIntegerEditPIDI->SetValue(row.I);
        RtIntegerEditPIDD->SetValue(row.D);
        RtIntegerEditPIDA->SetValue(row.A);
        EditPIDNotes->setText(row.Notes);
    } catch (const EPIDListError& e) {
        Dialogs().Message(QString::fromStdString(e.what()));
    }
}

void TPIDTuningPage::ListBox1CurrentRowChanged() {
    // A mouse click is handled once, when the button is released; this covers the keyboard.
    if (QApplication::mouseButtons() == Qt::NoButton && ListBox1->hasFocus())
        ListBox1Click();
}

void TPIDTuningPage::ButtonPIDSaveAsClick() {
    TPIDListContent list = List();
    if (list.Rows.isEmpty())
        return;
    const QString folder = ProgramPath(QStringLiteral("PID"));
    const QString title = FileNamePart(list.Title);
    const QString proposed = title.isEmpty() ? folder : QDir(folder).filePath(WithTextSuffix(title));
    const QString chosen = Dialogs().SaveFileName(QStringLiteral("Save PID table as"), proposed, kFilter);
    if (chosen.isEmpty())
        return;
    const QString file = WithTextSuffix(chosen);
    list.Title = QFileInfo(file).fileName();
    try {
        TPIDListFile::Write(file, list.Lines(), fEncoding);
    } catch (const EPIDListError& e) {
        Dialogs().Message(QString::fromStdString(e.what()));
        return;
    }
    SetList(list);
}

void TPIDTuningPage::ButtonPIDLoadClick() {
    const QString file =
        Dialogs().OpenFileName(QStringLiteral("Load PID table"), ProgramPath(QStringLiteral("PID")), kFilter);
    if (file.isEmpty())
        return;
    if (LoadList(file))
        BuildTable();
}

void TPIDTuningPage::ButtonTabPIDClick() {
    if (!fDebugMemo)
        return;
    const TPIDCalib empty;
    fDebugMemo->setPlainText(
        TPIDTable::DebugListing(Run() && Run()->PID ? Run()->PID->Calibration : empty).join(u'\n'));
}
