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

std::shared_ptr<TDialogs> SetDialogs(std::shared_ptr<TDialogs> dialogs) {
    std::shared_ptr<TDialogs> previous = std::move(Current());
    Current() = dialogs ? std::move(dialogs) : std::make_shared<TSilentDialogs>();
    return previous;
}
