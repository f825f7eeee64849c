// ondrix-cellsim: the simulated titration cell with its SourceMeter 2401 and MultiMeter 2000 on
// two pseudo-terminals. Prints "SMU <path>" and "DMM <path>" on standard output, then serves until
// SIGTERM or SIGINT.
#include "simulator/CellSimulator.h"
#include "simulator/SimOptions.h"

#include <csignal>
#include <iomanip>
#include <iostream>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    TSimOptions options;
    bool help = false;
    std::string error;
    if (!TSimOptionParser::Parse(argc, argv, options, help, error)) {
        std::cerr << "ondrix-cellsim: " << error << std::endl;
        return 2;
    }
    if (help) {
        std::cout << TSimOptionParser::Help();
        return 0;
    }

    // The signals are taken by sigwait below; every thread started from here inherits the mask.
    // A shell starts background jobs with SIGINT ignored, which would discard it before sigwait
    // could see it, so the default disposition is restored first.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) {
        std::signal(s, SIG_DFL);
        sigaddset(&signals, s);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    if (options.exitWithParent) {
        const pid_t parent = ::getppid();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) // the parent ended before the request took hold
            return 0;
    }

    TCellSimulator sim(options);
    if (!sim.Start(error)) {
        std::cerr << "ondrix-cellsim: " << error << std::endl;
        return 1;
    }
    std::cout << "SMU " << sim.PortPath(TInstrumentId::Smu) << '\n'
              << "DMM " << sim.PortPath(TInstrumentId::Dmm) << std::endl;
    const TSimCellParams& cell = options.cell;
    std::cerr << "ondrix-cellsim: SourceMeter 2401 on " << sim.PortPath(TInstrumentId::Smu) << " ("
              << options.smuBaud << " baud), MultiMeter 2000 on " << sim.PortPath(TInstrumentId::Dmm) << " ("
              << options.dmmBaud << " baud)\n"
              << "ondrix-cellsim: sensor Ax = " << cell.sensorAx << ", Bx = " << cell.sensorBx << "; furnace "
              << cell.furnaceSetpointC << " C; flush gas " << cell.flushpO2Atm << " atm; speed x"
              << options.speed << '\n';
    if (cell.sampleMassG > 0) {
        double delta = 0;
        sim.WithCell([&](TSimCell& c) { delta = c.SampleStartDelta(); });
        std::cerr << std::setprecision(8) << "ondrix-cellsim: sample " << cell.sampleMassG << " g, "
                  << cell.sampleMolarMassGPerMol << " g/mol, delta " << delta
                  << " at the start; type into the program: m0 = " << cell.sampleMassG
                  << ", M0 = " << cell.sampleMolarMassGPerMol << ", bs = " << cell.sampleOxygen
                  << ", b0 = " << cell.sampleOxygen - delta << "; titrations need --speed 1\n";
    }
    if (!sim.ControlPath().empty())
        std::cerr << "ondrix-cellsim: control FIFO " << sim.ControlPath() << " (try: echo help > "
                  << sim.ControlPath() << ")\n";
    std::cerr << std::flush;

    int received = 0;
    sigwait(&signals, &received);
    sim.Stop();
    std::cerr << "ondrix-cellsim: stopped (signal " << received << ")" << std::endl;
    return 0;
}
