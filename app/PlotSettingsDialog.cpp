#include "app/PlotSettingsDialog.h"

#include "app/DataPlot.h"
#include "app/TRtDoubleEdit.h"
#include "common/Dialogs.h"
#include "common/ProgramFolder.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// A range limit as the operator wants to read it: six significant digits, not the last bit of an
// automatic fit.
double Rounded(double v) {
    return QString::number(v, 'g', 6).toDouble();
}

// A picture of a plot that was never laid out on screen would be a few pixels wide.
constexpr int kMinSaveWidth = 640, kMinSaveHeight = 400;
constexpr int kDefaultSaveWidth = 1200, kDefaultSaveHeight = 800;
} // namespace

TPlotSettingsDialog::TPlotSettingsDialog(TDataPlot* plot, QWidget* parent) : QDialog(parent), fPlot(plot) {
    setObjectName(QStringLiteral("RtGraphSettingsTool1"));
    setWindowTitle(Title());
    setModal(true);

    auto* axesBox = new QGroupBox(QStringLiteral("Axes"), this);
    auto* grid = new QGridLayout(axesBox);
    const QStringList headings = {QStringLiteral("Axis"), QStringLiteral("Automatic"),
                                  QStringLiteral("Minimum"), QStringLiteral("Maximum"),
                                  QStringLiteral("Logarithmic")};
    for (int c = 0; c < headings.size(); ++c)
        grid->addWidget(new QLabel(headings[c], axesBox), 0, c);
    AddAxisRow(grid, plot->XAxisTime, false);
    for (QCPAxis* axis : plot->ValueAxes())
        AddAxisRow(grid, axis, true);

    auto* seriesBox = new QGroupBox(QStringLiteral("Series shown"), this);
    auto* seriesLayout = new QVBoxLayout(seriesBox);
    for (QCPGraph* series : plot->Series()) {
        auto* box = new QCheckBox(series->name(), seriesBox);
        box->setObjectName(QStringLiteral("CheckBoxVisible") + series->objectName());
        box->setChecked(series->visible());
        seriesLayout->addWidget(box);
        SeriesRows.append({series, box});
    }

    CheckBoxStacked =
        new QCheckBox(QStringLiteral("Stack the quantities in panels sharing the time axis"), this);
    CheckBoxStacked->setObjectName(QStringLiteral("CheckBoxStacked"));
    CheckBoxStacked->setChecked(plot->Stacked());

    ButtonSavePng = new QPushButton(QStringLiteral("Save as PNG…"), this);
    ButtonSavePng->setObjectName(QStringLiteral("ButtonSavePng"));
    ButtonSavePng->setAutoDefault(false);
    ButtonSavePdf = new QPushButton(QStringLiteral("Save as PDF…"), this);
    ButtonSavePdf->setObjectName(QStringLiteral("ButtonSavePdf"));
    ButtonSavePdf->setAutoDefault(false);
    connect(ButtonSavePng, &QPushButton::clicked, this, &TPlotSettingsDialog::ButtonSavePngClick);
    connect(ButtonSavePdf, &QPushButton::clicked, this, &TPlotSettingsDialog::ButtonSavePdfClick);

    ButtonBox =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    connect(ButtonBox, &QDialogButtonBox::accepted, this, [this] {
        if (Apply())
            accept();
    });
    connect(ButtonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ButtonBox->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, [this] { Apply(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonSavePng);
    buttons->addWidget(ButtonSavePdf);
    buttons->addStretch();
    buttons->addWidget(ButtonBox);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(axesBox);
    layout->addWidget(seriesBox);
    layout->addWidget(CheckBoxStacked);
    layout->addLayout(buttons);
}

void TPlotSettingsDialog::AddAxisRow(QGridLayout* grid, QCPAxis* axis, bool offerLogarithmic) {
    QWidget* owner = grid->parentWidget();
    const int r = grid->rowCount();
    const QString name = axis->objectName();
    grid->addWidget(new QLabel(fPlot->RangeCaption(axis), owner), r, 0);

    const QCPRange range = fPlot->AxisDataRange(axis);
    TAxisRow row{axis, new QCheckBox(owner), new TRtDoubleEdit(owner, Rounded(range.lower)),
                 new TRtDoubleEdit(owner, Rounded(range.upper)), nullptr};
    row.Automatic->setObjectName(QStringLiteral("CheckBoxAuto") + name);
    row.Minimum->setObjectName(QStringLiteral("EditMinimum") + name);
    row.Maximum->setObjectName(QStringLiteral("EditMaximum") + name);
    row.Automatic->setChecked(fPlot->AxisAutoRange(axis));
    // The limits are the operator's only while the range is fixed.
    const auto enableLimits = [row](bool automatic) {
        row.Minimum->setEnabled(!automatic);
        row.Maximum->setEnabled(!automatic);
    };
    enableLimits(row.Automatic->isChecked());
    connect(row.Automatic, &QCheckBox::toggled, this, enableLimits);
    grid->addWidget(row.Automatic, r, 1, Qt::AlignCenter);
    grid->addWidget(row.Minimum, r, 2);
    grid->addWidget(row.Maximum, r, 3);
    if (offerLogarithmic) {
        row.Logarithmic = new QCheckBox(owner);
        row.Logarithmic->setObjectName(QStringLiteral("CheckBoxLog") + name);
        row.Logarithmic->setChecked(TDataPlot::AxisLogarithmic(axis));
        grid->addWidget(row.Logarithmic, r, 4, Qt::AlignCenter);
    }
    AxisRows.append(row);
}

const TPlotSettingsDialog::TAxisRow& TPlotSettingsDialog::Row(const QCPAxis* axis) const {
    for (const TAxisRow& row : AxisRows)
        if (row.Axis == axis)
            return row;
    Q_ASSERT_X(false, "TPlotSettingsDialog::Row", "not an axis of the plot");
    return AxisRows.front();
}

QCheckBox* TPlotSettingsDialog::VisibleBox(const QCPGraph* series) const {
    for (const TSeriesRow& row : SeriesRows)
        if (row.Series == series)
            return row.Visible;
    return nullptr;
}

QString TPlotSettingsDialog::Invalid(const TAxisRow& row) const {
    if (row.Automatic->isChecked())
        return {};
    const double lo = row.Minimum->Value(), hi = row.Maximum->Value();
    if (!(lo < hi))
        return QStringLiteral("The minimum of the axis \"%1\" must be below its maximum.")
            .arg(fPlot->RangeCaption(row.Axis));
    if (row.Logarithmic && row.Logarithmic->isChecked() && lo <= 0)
        return QStringLiteral("The logarithmic axis \"%1\" needs a minimum above zero.")
            .arg(fPlot->RangeCaption(row.Axis));
    return {};
}

bool TPlotSettingsDialog::Apply() {
    // Check every row first, so a refused setting leaves the plot exactly as it was.
    for (const TAxisRow& row : AxisRows) {
        const QString problem = Invalid(row);
        if (!problem.isEmpty()) {
            Dialogs().Message(problem);
            return false;
        }
    }
    for (const TAxisRow& row : AxisRows) {
        // The scale first: switching it may adjust the range the axis holds.
        if (row.Logarithmic)
            fPlot->SetAxisLogarithmic(row.Axis, row.Logarithmic->isChecked());
        if (row.Automatic->isChecked())
            fPlot->SetAxisAutoRange(row.Axis);
        else
            fPlot->SetAxisFixedRange(row.Axis, row.Minimum->Value(), row.Maximum->Value());
    }
    for (const TSeriesRow& row : SeriesRows)
        fPlot->SetSeriesVisible(row.Series, row.Visible->isChecked());
    fPlot->SetStacked(CheckBoxStacked->isChecked());
    fPlot->ReplotNow();
    return true;
}

void TPlotSettingsDialog::ButtonSavePngClick() {
    Save(false);
}

void TPlotSettingsDialog::ButtonSavePdfClick() {
    Save(true);
}

QString TPlotSettingsDialog::AskPlotFile(bool pdf) {
    QString file = Dialogs().SaveFileName(
        pdf ? QStringLiteral("Save plot as PDF") : QStringLiteral("Save plot as PNG"),
        ProgramPath(QStringLiteral("Userdata")),
        pdf ? QStringLiteral("PDF documents (*.pdf)") : QStringLiteral("PNG pictures (*.png)"));
    if (!file.isEmpty() && QFileInfo(file).suffix().isEmpty())
        file += pdf ? QStringLiteral(".pdf") : QStringLiteral(".png");
    return file;
}

void TPlotSettingsDialog::Save(bool pdf) {
    const QString file = AskPlotFile(pdf);
    if (file.isEmpty())
        return;

    fPlot->ReplotNow();
    const bool laidOut = fPlot->width() >= kMinSaveWidth && fPlot->height() >= kMinSaveHeight;
    const int w = laidOut ? 0 : kDefaultSaveWidth; // 0: the size on screen
    const int h = laidOut ? 0 : kDefaultSaveHeight;
    const bool saved = pdf ? fPlot->savePdf(file, w, h) : fPlot->savePng(file, w, h);
    if (!saved)
        Dialogs().Message(
            QStringLiteral("The plot could not be saved to %1.").arg(QDir::toNativeSeparators(file)));
}
