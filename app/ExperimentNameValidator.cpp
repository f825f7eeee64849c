#include "app/ExperimentNameValidator.h"

#include <QLineEdit>
#include <QToolTip>

TExperimentNameValidator::TExperimentNameValidator(QObject* parent) : QValidator(parent) {}

TExperimentNameValidator* TExperimentNameValidator::Install(QLineEdit* box) {
    auto* validator = new TExperimentNameValidator(box);
    box->setValidator(validator);
    box->setToolTip(RefusalMessage());
    connect(validator, &TExperimentNameValidator::refused, box, [box](const QString& message) {
        QToolTip::showText(box->mapToGlobal(QPoint(0, box->height())), message, box);
    });
    return validator;
}

bool TExperimentNameValidator::Forbidden(QChar c) {
    static const QString kForbidden = QStringLiteral("/\\:*?\"<>|");
    return c.unicode() < 0x20 || c.unicode() == 0x7F || kForbidden.contains(c);
}

QString TExperimentNameValidator::RefusalMessage() {
    return QStringLiteral("The experiment name is part of the data file's name, so it can't contain "
                          "/ \\ : * ? \" < > | or control characters.");
}

QValidator::State TExperimentNameValidator::validate(QString& input, int& pos) const {
    bool removed = false;
    for (qsizetype i = input.size() - 1; i >= 0; --i) {
        if (!Forbidden(input.at(i)))
            continue;
        input.remove(i, 1);
        if (i < pos)
            --pos;
        removed = true;
    }
    if (removed)
        emit refused(RefusalMessage());
    return Acceptable;
}
