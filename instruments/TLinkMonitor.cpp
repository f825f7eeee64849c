#include "instruments/TLinkMonitor.h"

#include <algorithm>

void TLinkMonitor::SetListener(std::function<void(const QString&, const QString&)> listener) {
    std::lock_guard<std::mutex> lock(fLock);
    fListener = std::move(listener);
}

void TLinkMonitor::Tell(const QString& text) {
    std::function<void(const QString&, const QString&)> listener;
    {
        std::lock_guard<std::mutex> lock(fLock);
        listener = fListener;
    }
    if (listener)
        listener(fName, text);
}

void TLinkMonitor::Reset() {
    std::lock_guard<std::mutex> lock(fLock);
    fState.store(TLinkState::OK);
    fReason.clear();
    fFailures = 0;
    fAnswered = true;
    fFirstFailure = fSince = fNextTry = 0;
    fPauseS = kFirstPauseS;
}

bool TLinkMonitor::Success(TDateTime now) {
    QString text;
    {
        std::lock_guard<std::mutex> lock(fLock);
        fFailures = 0;
        fFirstFailure = 0;
        fAnswered = true;
        if (fState.load() == TLinkState::OK)
            return false;
        text = QStringLiteral("readings back after %1 s (%2)")
                   .arg(QString::number((now - fSince) * SecondsPerDay, 'f', 1), fReason);
        fState.store(TLinkState::OK);
        fReason.clear();
        fSince = fNextTry = 0;
        fPauseS = kFirstPauseS;
    }
    Tell(text);
    return true;
}

bool TLinkMonitor::Failure(TDateTime now, const QString& reason, bool answered) {
    QString text;
    {
        std::lock_guard<std::mutex> lock(fLock);
        if (fFailures++ == 0)
            fFirstFailure = now;
        fReason = reason;
        const bool cameBack = answered && !fAnswered;
        fAnswered = answered;
        if (fState.load() != TLinkState::OK) {
            if (cameBack) {
                fNextTry = std::min(fNextTry, now);
                fPauseS = kFirstPauseS;
            }
            return false;
        }
        if (fFailures < 2 && (now - fFirstFailure) * SecondsPerDay < 1.0)
            return false; // one glitch is no fault yet
        fState.store(TLinkState::Failing);
        fSince = fFirstFailure;
        fNextTry = fSince + kReinitAfterS / SecondsPerDay;
        fPauseS = kFirstPauseS;
        text = QStringLiteral("%1 since %2").arg(reason, FormatDateTime(QStringLiteral("hh:mm:ss"), fSince));
    }
    Tell(text);
    return true;
}

bool TLinkMonitor::ReinitDue(TDateTime now) {
    int tries = 0;
    {
        std::lock_guard<std::mutex> lock(fLock);
        if (fState.load() == TLinkState::OK || now < fNextTry)
            return false;
        fState.store(TLinkState::Recovering);
        fNextTry = now + fPauseS / SecondsPerDay;
        fPauseS = std::min(fPauseS * 2, kLongestPauseS);
        tries = fReinits.fetch_add(1) + 1;
    }
    Tell(QStringLiteral("re-initialising (%1)").arg(tries));
    return true;
}

QString TLinkMonitor::StatusText() const {
    std::lock_guard<std::mutex> lock(fLock);
    switch (fState.load()) {
    case TLinkState::OK:
        return QString();
    case TLinkState::Failing:
        return QStringLiteral("%1: %2 since %3")
            .arg(fName, fReason, FormatDateTime(QStringLiteral("hh:mm:ss"), fSince));
    case TLinkState::Recovering:
        return QStringLiteral("%1: re-initialising (%2 since %3)")
            .arg(fName, fReason, FormatDateTime(QStringLiteral("hh:mm:ss"), fSince));
    }
    return QString();
}

TLinkMonitor& LinkSMU() {
    static TLinkMonitor link(QStringLiteral("SMU"));
    return link;
}

TLinkMonitor& LinkDMM() {
    static TLinkMonitor link(QStringLiteral("DMM"));
    return link;
}

bool LinksOK() {
    return LinkSMU().IsOK() && LinkDMM().IsOK();
}
