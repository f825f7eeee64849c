// How fast a link heals after the instrument's power cut: each instrument is power-cycled five
// times (off for 6 s, long enough for the set-up sequence to have gone out in vain and the pause
// between tries to have grown) while both workers run, and the time from the moment the
// instrument answers again until its link reads OK is taken. Goal: median under 5 s.
#include "acquisition/TThread2000.h"
#include "app/SharedState.h"
#include "common/FreeAndNil.h"
#include "control/TPID.h"
#include "control/TThread2401.h"
#include "diagnostics/LogChannel.h"
#include "instruments/TLinkMonitor.h"
#include "recording/TDataSynchronizer.h"
#include "simulator/CellSimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <functional>
#include <vector>

namespace {

void Serve(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool ServeUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        Serve(5);
    }
    return true;
}

class THost2401 : public IThread2401Host {
public:
    double DataPointLength() const override { return 1; }
    int SetVoltagemV() const override { return 0; }
    void ShowPIDListing(const QStringList&) override {}
};

class THost2000 : public IThread2000Host {
public:
    double CellTemperatureOverride() const override { return 0; }
    bool FastMode() const override { return false; }
    int FastModeCount() const override { return 20; }
};

void BM_PowerCycleRecovery(benchmark::State& state) {
    const TInstrumentId id = state.range(0) == 0 ? TInstrumentId::Smu : TInstrumentId::Dmm;
    TSimOptions options;
    options.controlFifo = false;
    options.cell.noise = false;
    TCellSimulator sim(options);
    std::string error;
    if (!sim.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const QString smuPort = QString::fromStdString(sim.PortPath(TInstrumentId::Smu));
    const QString dmmPort = QString::fromStdString(sim.PortPath(TInstrumentId::Dmm));
    Initialize2401(smuPort);
    Initialize2000(dmmPort);
    ResetSharedState();
    PID = new TPID();
    THost2401 host2401;
    THost2000 host2000;
    TThread2401 smu(&host2401);
    smu.Port = smuPort;
    smu.SetModeEx(TMode::SetCurrent);
    TThread2000 dmm(&host2000);
    dmm.Port = dmmPort;
    dmm.SetToPauseEx(false);
    smu.start();
    dmm.start();
    TLinkMonitor& link = id == TInstrumentId::Smu ? LinkSMU() : LinkDMM();
    ServeUntil([&] { return smu.ModeIntegrator() == TMode::SetCurrent && dmm.TickCount() > 2; }, 20000);

    std::vector<double> seconds;
    for (auto _ : state) {
        for (int i = 0; i < 5; ++i) {
            ServeUntil([&] { return LinksOK(); }, 60000);
            Serve(1000);
            sim.PowerCycle(id, 6000);
            ServeUntil([&] { return !link.IsOK(); }, 20000);
            ServeUntil([&] { return !sim.IsPoweredOff(id); }, 20000);
            QElapsedTimer back;
            back.start();
            if (!ServeUntil([&] { return link.IsOK(); }, 60000)) {
                state.SkipWithError("the link did not heal within 60 s");
                break;
            }
            seconds.push_back(double(back.nsecsElapsed()) / 1e9);
        }
        state.SetIterationTime(seconds.empty() ? 0 : seconds.back());
    }
    std::sort(seconds.begin(), seconds.end());
    if (!seconds.empty()) {
        state.counters["median_s"] = seconds[seconds.size() / 2];
        state.counters["max_s"] = seconds.back();
        state.counters["reinits"] = link.Reinits();
    }

    smu.SetToStopEx(true);
    dmm.SetToPauseEx(false);
    dmm.SetToStopEx(true);
    ServeUntil([&] { return smu.IsStopped() && dmm.IsStopped(); }, 30000);
    smu.wait();
    dmm.wait();
    FreeAndNil(SynchronizerI);
    FreeAndNil(SynchronizerV);
    FreeAndNil(SynchronizerT);
    FreeAndNil(SynchronizerpO2);
    FreeAndNil(PID);
}
BENCHMARK(BM_PowerCycleRecovery)
    ->Name("PowerCycle/recovery_after_answering")
    ->Arg(0)
    ->Arg(1)
    ->ArgName("dmm")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    InitializeLogChannels();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
