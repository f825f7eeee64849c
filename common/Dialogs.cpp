#include "common/Dialogs.h"

namespace {
class TSilentDialogs : public TDialogs {
public:
    bool Confirm(const QString&) override { return true; }
    bool AskYesNo(const QString&) override { return true; }
    void Message(const QString&) override {}
    QString OpenFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString SaveFileName(const QString&, const QString&, const QString&) override { return {}; }
};

std::shared_ptr<TDialogs>& Current() {
    static std::shared_ptr<TDialogs> current = std::make_shared<TSilentDialogs>();
    return current;
}
} // namespace

TDialogs& Dialogs() {
    return *Current();
}

void SetDialogs(std::shared_ptr<TDialogs> dialogs) {
    Current() = dialogs ? std::move(dialogs) : std::make_shared<TSilentDialogs>();
}
