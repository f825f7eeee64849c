#include "app/StepProgramView.h"

#include "experiment/TExperimentModel.h"

#include <QBrush>
#include <QListWidget>
#include <algorithm>

TStepProgramView::~TStepProgramView() {
    QObject::disconnect(fFollowed);
}

void TStepProgramView::Follow(const TExperimentModel& model) {
    QObject::disconnect(fFollowed);
    fFollowed = QObject::connect(&model, &TExperimentModel::StepProgramChanged, &fList,
                                 [this, &model] { Show(model.StepProgram()); });
    Show(model.StepProgram());
}

void TStepProgramView::Show(const QList<TStep>& steps) {
    const QStringList rows = StepProgram::Texts(steps);
    const int shown = fList.count();
    const int count = int(rows.size());
    int differ = 0, first = -1;
    for (int i = 0; i < std::min(shown, count); ++i)
        if (fList.item(i)->text() != rows[i]) {
            ++differ;
            if (first < 0)
                first = i;
        }
    if (count == shown && differ <= 1) {
        if (first >= 0)
            fList.item(first)->setText(rows[first]);
    } else if (count == shown + 1 && differ == 0) {
        fList.addItem(rows.last());
    } else if (count == shown - 1 && differ == 0) {
        delete fList.takeItem(shown - 1);
    } else {
        fList.clear();
        fList.addItems(rows);
    }
}

void TStepProgramView::Refresh(TProgramState state, int currentStep) {
    const int count = fList.count();
    const bool stepProgram = state == TProgramState::PIDStep || state == TProgramState::PPS;
    const int running = stepProgram && currentStep >= 0 && currentStep < count ? currentStep : -1;

    for (int i = 0; i < count; ++i) {
        QListWidgetItem* item = fList.item(i);
        const bool marked = item->data(Qt::BackgroundRole).isValid();
        if (i == running && !marked) {
            item->setData(Qt::BackgroundRole, QBrush(MarkColor()));
            fList.scrollToItem(item);
        } else if (i != running && marked) {
            item->setData(Qt::BackgroundRole, QVariant());
        }
    }
}

void TStepProgramView::SetStatusText(const QString& text) {
    const int marked = MarkedRow();
    for (int i = 0; i < fList.count(); ++i) {
        QListWidgetItem* item = fList.item(i);
        const QVariant tip = i == marked && !text.isEmpty() ? QVariant(text) : QVariant();
        if (item->data(Qt::ToolTipRole) != tip)
            item->setData(Qt::ToolTipRole, tip);
    }
}

int TStepProgramView::MarkedRow() const {
    for (int i = 0; i < fList.count(); ++i)
        if (fList.item(i)->data(Qt::BackgroundRole).isValid())
            return i;
    return -1;
}
