// Ondrix: operator and data-acquisition program of a coulometric titration cell.
//
//   ondrix              the program with the instruments on the ports of its settings file
//   ondrix --simulate   the same with the bundled cell simulator on two pseudo-terminals
//   ondrix --monitor [ADDRESS:]PORT
//                       also serves the read-only web monitor (loopback unless ADDRESS is given)
//   ondrix --export DATA_FILE [OUTPUT.csv] [--no-events]
//                       writes a data file or journal as a CSV and JSON file for analysis tools,
//                       without a window
//   ondrix --titration DATA_FILE [OUTPUT.csv] [--alpha A]
//                       writes the sample's oxygen balance of a data file or journal, row by row,
//                       and its isotherm, without a window
//   ondrix --simulate [...] -- SIMULATOR OPTIONS
//                       everything after "--" goes to the cell simulator
#include "app/CloseWatchdog.h"
#include "app/QtDialogs.h"
#include "app/SignalCloser.h"
#include "app/SimulatedCell.h"
#include "app/TfrmOndrix.h"
#include "diagnostics/LogChannel.h"
#include "monitor/MonitorConfig.h"
#include "monitor/MonitorServer.h"
#include "recording/AnalysisExport.h"
#include "titration/TitrationColumns.h"
#include "titration/TitrationFile.h"

#include <QApplication>
#include <QPointer>
#include <QScreen>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace {

const char kUsage[] =
    "Usage: ondrix [--simulate] [--monitor [ADDRESS:]PORT] [-- SIMULATOR OPTIONS]\n"
    "       ondrix --export DATA_FILE [OUTPUT.csv] [--no-events]\n"
    "       ondrix --titration DATA_FILE [OUTPUT.csv] [--alpha A]\n"
    "\n"
    "  --simulate   run with the bundled cell simulator instead of the instruments; options after\n"
    "               \"--\" go to it (ondrix-cellsim --help lists them; titrations need its speed 1)\n"
    "  --monitor    serve the read-only web monitor on PORT, on this computer only (127.0.0.1)\n"
    "               unless ADDRESS is given (0.0.0.0: every network; a token is then required,\n"
    "               printed here and shown on the Configuration page)\n"
    "  --export     write an experiment data file or journal as a UTF-8 CSV file for analysis\n"
    "               (default OUTPUT: DATA_FILE with .analysis.csv) and its header, variables\n"
    "               and notes as a JSON file beside it (OUTPUT with .json), with the sample's\n"
    "               oxygen balance (charge, gas, leak, b, delta) after the file's own columns\n"
    "  --no-events  leave the mode-change rows out of the CSV file\n"
    "  --titration  write the sample's oxygen balance of a data file or journal, one line per row\n"
    "               (default OUTPUT: DATA_FILE with .titration.csv), and its isotherm, one line\n"
    "               per step program's equilibrium point, beside it (OUTPUT with .isotherm.csv)\n"
    "  --alpha A    the leak constant, mol O2/(s atm^0.25), until an equilibrium point gives one\n";

// The program's own arguments end at "--"; the rest belong to the simulator.
int OwnArguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--") == 0)
            return i;
    return argc;
}

bool HasArgument(int argc, char** argv, const char* name) {
    for (int i = 1; i < OwnArguments(argc, argv); ++i)
        if (std::strcmp(argv[i], name) == 0)
            return true;
    return false;
}

// `ondrix --titration`: no window, no instruments; the exit code says whether it worked.
int TitrationBalance(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList files;
    TTitrationFileOptions options;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QStringLiteral("--titration"))
            continue;
        if (a == QStringLiteral("--alpha")) {
            bool ok = false;
            options.EnteredAlpha = i + 1 < args.size() ? args[++i].toDouble(&ok) : 0;
            if (!ok) {
                std::fprintf(stderr, "--alpha needs a number\n%s", kUsage);
                return 2;
            }
        } else if (a.startsWith(u'-') && a.size() > 1) {
            std::fprintf(stderr, "Unknown option %s\n%s", qPrintable(a), kUsage);
            return 2;
        } else {
            files << a;
        }
    }
    if (files.isEmpty() || files.size() > 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString output = files.size() == 2 ? files[1] : TTitrationFile::DefaultOutput(files[0]);
    const TTitrationFileResult r = TTitrationFile::Run(files[0], output, options);
    if (!r.Ok) {
        std::fprintf(stderr, "%s\n", qPrintable(r.Message));
        return 1;
    }
    std::printf("%s: %lld data rows, %lld lines skipped; charge %.6g C (%.6g C estimated over gaps); "
                "delta %.6g\n%s: %d equilibrium points, alpha %.6g mol O2/(s atm^0.25) +- %.3g\n",
                qPrintable(r.CsvPath), r.DataRows, r.SkippedLines, r.Charge, r.ChargeEstimated, r.Delta,
                qPrintable(r.IsothermPath), r.Points, r.Alpha, r.AlphaError);
    return 0;
}

// `ondrix --export`: no window, no instruments; the exit code says whether it worked.
int ExportForAnalysis(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList files;
    TAnalysisExportOptions options;
    TTitrationColumns balance; // the sample's oxygen balance after the file's own columns
    options.Extra = &balance;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (const QString& a : args) {
        if (a == QStringLiteral("--export"))
            continue;
        if (a == QStringLiteral("--no-events"))
            options.Events = false;
        else if (a.startsWith(u'-') && a.size() > 1) {
            std::fprintf(stderr, "Unknown option %s\n%s", qPrintable(a), kUsage);
            return 2;
        } else
            files << a;
    }
    if (files.isEmpty() || files.size() > 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString output = files.size() == 2 ? files[1] : TAnalysisExport::DefaultOutput(files[0]);
    const TAnalysisExportResult r = TAnalysisExport::Run(files[0], output, options);
    if (!r.Ok) {
        std::fprintf(stderr, "%s\n", qPrintable(r.Message));
        return 1;
    }
    std::printf("%s: %lld data rows, %lld mode changes%s, %lld lines skipped\n%s\n", qPrintable(r.CsvPath),
                r.DataRows, r.EventRows, options.Events ? "" : " left out", r.SkippedLines,
                qPrintable(r.JsonPath));
    return 0;
}

// The value of `--monitor`: nullopt without the option; exits with the usage on a bad value.
std::optional<TMonitorConfig> MonitorOption(int argc, char** argv) {
    for (int i = 1; i < OwnArguments(argc, argv); ++i) {
        if (std::strcmp(argv[i], "--monitor") != 0)
            continue;
        QString error = QStringLiteral("--monitor needs [ADDRESS:]PORT");
        if (i + 1 < argc)
            if (auto c = TMonitorConfig::ParseListen(QString::fromLocal8Bit(argv[i + 1]), &error))
                return c;
        std::fprintf(stderr, "%s\n%s", qPrintable(error), kUsage);
        std::exit(2);
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    if (HasArgument(argc, argv, "--help") || HasArgument(argc, argv, "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (HasArgument(argc, argv, "--export"))
        return ExportForAnalysis(argc, argv);
    if (HasArgument(argc, argv, "--titration"))
        return TitrationBalance(argc, argv);

    const std::optional<TMonitorConfig> monitor = MonitorOption(argc, argv);

    // The log channels exist before the window; the log file opens during its creation.
    InitializeLogChannels();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ondrix"));
    auto dialogs = std::make_shared<TQtDialogs>();
    SetDialogs(dialogs);

    TSimulatedCell simulator;
    TfrmOndrix::TSimulatedPorts simulated;
    if (HasArgument(argc, argv, "--simulate")) {
        QString error;
        const QStringList all = QApplication::arguments();
        const qsizetype dashes = all.indexOf(QStringLiteral("--"));
        const QStringList simulatorArgs = dashes < 0 ? QStringList() : all.mid(dashes + 1);
        if (simulator.Start(TSimulatedCell::DefaultProgram(), simulatorArgs, error)) {
            simulated.SMU = simulator.SMUPort();
            simulated.DMM = simulator.DMMPort();
        } else {
            dialogs->Message(error);
        }
    }

    auto* window = new TfrmOndrix({}, simulated);
    window->setAttribute(Qt::WA_DeleteOnClose);
    dialogs->SetParent(window);
    // A termination signal closes like the close button, without asking: pump at 0 A, data saved.
    // Whatever holds the close, the process is gone within the watchdog's limit.
    window->SetCloseTimeLimit(TCloseWatchdog::kProgramLimit);
    bool saved = true;
    QObject::connect(window, &TfrmOndrix::Closed, [&saved](bool s) { saved = s; });
    QPointer<TfrmOndrix> closing(window);
    TSignalCloser signalCloser([closing] {
        if (closing)
            closing->CloseWithoutQuestion();
    });
    // Without a window manager "maximised" means nothing, so the window first takes the screen's
    // available area itself; with one, the maximised state keeps it there.
    if (monitor) {
        QString error;
        if (window->StartMonitor(*monitor, &error)) {
            std::printf("Monitor: %s\n", qPrintable(window->Monitor().Url()));
            std::fflush(stdout);
        } else {
            std::fprintf(stderr, "Monitor not started: %s\n", qPrintable(error));
        }
    }
    if (QScreen* screen = window->screen())
        window->setGeometry(screen->availableGeometry());
    window->showMaximized();
    const int rc = QApplication::exec();
    SetDialogs(nullptr);
    simulator.Stop();
    // A close whose rows could not be saved is no success, for a service manager either.
    return rc != 0 ? rc : saved ? 0 : 1;
}
