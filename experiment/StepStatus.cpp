#include "experiment/StepStatus.h"

#include "common/Clock.h"

#include <algorithm>
#include <cmath>

void TStepStatus::Follow(TProgramState state, int step, int stepCount) {
    const bool program = state == TProgramState::PIDStep || state == TProgramState::PPS;
    const bool running = program && step >= 0 && step < stepCount;
    if (running && (!fRunning || state != fState || step != fStep)) {
        fStart = MonotonicSeconds();
        fCriteria = TStepCriteria{};
    }
    fRunning = running;
    fState = running ? state : TProgramState::Uninitialized;
    fStep = running ? step : -1;
}

void TStepStatus::Judged(TProgramState state, int step, const TStepCriteria& criteria) {
    if (fRunning && state == fState && step == fStep)
        fCriteria = criteria;
}

double TStepStatus::StepSeconds() const {
    return fRunning ? std::max(0.0, MonotonicSeconds() - fStart) : 0.0;
}

QString TStepStatus::Elapsed(double seconds) {
    // Whole seconds; a hair below one (the clock's rounding) still counts as it.
    const long long total = (long long)std::floor(std::max(0.0, seconds) + 1e-6);
    const long long h = total / 3600, m = total / 60 % 60, s = total % 60;
    const QString ss = QStringLiteral("%1").arg(s, 2, 10, QLatin1Char('0'));
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(ss);
    return QStringLiteral("%1:%2").arg(m).arg(ss);
}

TShownCriteria TStepStatus::Shown(bool rcAppliesToCurrent) const {
    TShownCriteria shown;
    if (!fRunning)
        return shown;
    if (fState == TProgramState::PIDStep)
        shown.InRange = fCriteria.InRange;
    shown.PO2Stable = fCriteria.PO2Stable;
    if (fState == TProgramState::PPS || rcAppliesToCurrent)
        shown.CurrentStable = fCriteria.CurrentStable;
    return shown;
}

QString TStepStatus::Text(bool rcAppliesToCurrent) const {
    return fRunning ? Text(fStep + 1, StepSeconds(), Shown(rcAppliesToCurrent)) : QString();
}

QString TStepStatus::Text(int step, double seconds, const TShownCriteria& criteria) {
    const QString sep = QStringLiteral(" · ");
    QString text = QStringLiteral("Step %1: ").arg(step) + Elapsed(seconds);
    const struct {
        const char* name;
        const std::optional<bool>& holds;
    } shown[] = {{"range", criteria.InRange},
                 {"pO2 stable", criteria.PO2Stable},
                 {"I stable", criteria.CurrentStable}};
    for (const auto& c : shown)
        if (c.holds)
            text += sep + QLatin1String(c.name) + (*c.holds ? QStringLiteral(" ✓") : QStringLiteral(" ✗"));
    return text;
}
