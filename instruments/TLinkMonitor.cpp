#include "instruments/TLinkMonitor.h"

#include "common/Clock.h"

#include <algorithm>

namespace {
QString TimeOfDay(TDateTime t) {
    return FormatDateTime(QStringLiteral("hh:mm:ss"), t);
}
} // namespace

TLinkInstant TLinkInstant::Take() {
    return {MonotonicSeconds(), Now()};
}

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

void TLinkMonitor::TryAtOnce(double now) {
    fNextTry = now;
    fPauseS = kFirstPauseS;
}

void TLinkMonitor::Reset() {
    std::lock_guard<std::mutex> lock(fLock);
    fState.store(TLinkState::OK);
    fReason.clear();
    fAnswered = true;
    fSetUpOwed = false;
    fSince = TLinkInstant();
    fNextTry = 0;
    fPauseS = kFirstPauseS;
}

bool TLinkMonitor::Success() {
    QString text;
    {
        std::lock_guard<std::mutex> lock(fLock);
        fAnswered = true;
        if (fState.load() == TLinkState::OK)
            return false;
        const double now = MonotonicSeconds();
        if (fSetUpOwed) {
            // Readings again, but from an instrument that may be at its power-on settings: the
            // set-up goes out first, and the next good cycle ends the fault.
            TryAtOnce(now);
            return false;
        }
        text = QStringLiteral("readings back after %1 s (%2)")
                   .arg(QString::number(now - fSince.Monotonic, 'f', 1), fReason);
        fState.store(TLinkState::OK);
        fReason.clear();
        fSince = TLinkInstant();
        TryAtOnce(0);
    }
    Tell(text);
    return true;
}

void TLinkMonitor::Replied() {
    std::lock_guard<std::mutex> lock(fLock);
    if (fState.load() != TLinkState::OK && !fAnswered)
        TryAtOnce(MonotonicSeconds()); // back after silence: the set-up need not wait out a pause
    fAnswered = true;
}

bool TLinkMonitor::Failure(const TLinkInstant& began, const QString& reason, bool answered) {
    QString text;
    {
        std::lock_guard<std::mutex> lock(fLock);
        const double now = MonotonicSeconds();
        fReason = reason;
        const bool cameBack = answered && !fAnswered;
        fAnswered = answered;
        fSetUpOwed = true;
        if (fState.load() != TLinkState::OK) {
            if (cameBack)
                TryAtOnce(now);
            return false;
        }
        fState.store(TLinkState::Failing);
        fSince = began;
        TryAtOnce(now);
        text = QStringLiteral("%1 since %2").arg(reason, TimeOfDay(fSince.Wall));
    }
    Tell(text);
    return true;
}

bool TLinkMonitor::ReinitDue() {
    int tries = 0;
    {
        std::lock_guard<std::mutex> lock(fLock);
        const double now = MonotonicSeconds();
        if (fState.load() == TLinkState::OK || now < fNextTry)
            return false;
        fState.store(TLinkState::Recovering);
        fNextTry = now + fPauseS;
        fPauseS = std::min(fPauseS * 2, kLongestPauseS);
        // Sent into silence, the set-up may never have arrived: it is owed until one goes out
        // while the instrument answers.
        if (fAnswered)
            fSetUpOwed = false;
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
        return QStringLiteral("%1: %2 since %3").arg(fName, fReason, TimeOfDay(fSince.Wall));
    case TLinkState::Recovering:
        return QStringLiteral("%1: re-initialising (%2 since %3)")
            .arg(fName, fReason, TimeOfDay(fSince.Wall));
    }
    return QString();
}
