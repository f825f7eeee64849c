#pragma once
// Keeps the experiment name a valid part of a file name while it is typed or pasted: the name
// goes into every data file's name, so a character a file name cannot hold (on the lab PCs'
// Windows as well as here) would make every save fail. Such characters are not taken; the
// validator says which and why through `refused`, for the page to show.
#include <QValidator>

class QLineEdit;

class TExperimentNameValidator : public QValidator {
    Q_OBJECT
public:
    explicit TExperimentNameValidator(QObject* parent = nullptr);
    // Puts a validator on the box that shows its refusals as a tooltip at the box.
    static TExperimentNameValidator* Install(QLineEdit* box);
    State validate(QString& input, int& pos) const override;

    // The characters a file name cannot hold: / \ : * ? " < > | and control characters.
    static bool Forbidden(QChar c);
    static QString RefusalMessage();

signals:
    void refused(const QString& message) const;
};
