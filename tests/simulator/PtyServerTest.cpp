// The simulator served on real pseudo-terminals inside the test process: the ports are opened by
// their link paths with plain POSIX calls (and with the program's own serial layer), and the faults
// are switched through the simulator's API and its control FIFO.
#include "acquisition/TThread2000.h"
#include "control/TThread2401.h"
#include "instruments/TSerialPort.h"
#include "simulator/CellSimulator.h"
#include "tests/support/Wait.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <poll.h>
#include <regex>
#include <signal.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;
constexpr int kReplyDeadlineMs = 15000; // generous: the machine may be loaded

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Reads one reply (up to its CR) from an open port; "<none>" when nothing came in time.
std::string ReadReply(int fd, int deadlineMs = kReplyDeadlineMs) {
    std::string reply;
    const auto end = TClock::now() + std::chrono::milliseconds(deadlineMs);
    while (TClock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0)
            continue;
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        reply.append(buffer, static_cast<size_t>(n));
        const size_t cr = reply.find('\r');
        if (cr != std::string::npos)
            return reply.substr(0, cr);
    }
    return "<none>";
}

void Write(int fd, const std::string& text) {
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// One exchange the way the program makes it: open, write, read the reply, close.
std::string Exchange(const std::string& path, const std::string& message, bool wait = true) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return "<cannot open>";
    Write(fd, message + "\r");
    const std::string reply = wait ? ReadReply(fd) : std::string();
    ::close(fd);
    return reply;
}

class PtySimulator : public ::testing::Test {
protected:
    void SetUp() override {
        TSimOptions options;
        options.cell.noise = false;
        sim = std::make_unique<TCellSimulator>(options);
        std::string error;
        ASSERT_TRUE(sim->Start(error)) << error;
        smu = sim->PortPath(TInstrumentId::Smu);
        dmm = sim->PortPath(TInstrumentId::Dmm);
    }
    void TearDown() override { sim->Stop(); }
    const std::string& Path(TInstrumentId id) const { return id == TInstrumentId::Smu ? smu : dmm; }

    std::unique_ptr<TCellSimulator> sim;
    std::string smu;
    std::string dmm;
};

const std::regex kSmuReading(R"([+-]\d\.\d{6}E[+-]\d{2},[+-]\d\.\d{6}E[+-]\d{2})");
const std::regex kDmmReading(R"([+-]\d\.\d{8}E[+-]\d{2})");

} // namespace

TEST_F(PtySimulator, AnswersOnBothPortsWhateverTheLineEnd) {
    for (TInstrumentId id : {TInstrumentId::Smu, TInstrumentId::Dmm}) {
        for (const char* end : {"\r", "\n", "\r\n"}) {
            const int fd = ::open(Path(id).c_str(), O_RDWR | O_NOCTTY);
            ASSERT_GE(fd, 0) << Path(id);
            Write(fd, std::string("*IDN?") + end);
            EXPECT_EQ(ReadReply(fd).rfind("ONDRIX-CELLSIM,MODEL 2", 0), 0u);
            ::close(fd);
        }
    }
    // A compound command and a query in one line, as the program's readings are.
    Exchange(dmm, ":ROUT:OPEN:ALL", false);
    Exchange(dmm, ":ROUT:CLOSE (@1)", false);
    EXPECT_TRUE(std::regex_match(Exchange(dmm, ":FUNC \"VOLT:DC\";:READ?"), kDmmReading));
}

TEST_F(PtySimulator, FaultsChangeTheRepliesAndClearAgain) {
    struct TCase {
        TInstrumentId id;
        TFault fault;
        const char* query;
        std::function<bool(const std::string&)> normal;
        std::function<bool(const std::string&)> faulty;
    };
    auto isIdn = [](const std::string& r) { return r.rfind("ONDRIX-CELLSIM,", 0) == 0; };
    auto smuReading = [](const std::string& r) { return std::regex_match(r, kSmuReading); };
    auto dmmReading = [](const std::string& r) { return std::regex_match(r, kDmmReading); };
    auto is = [](const char* text) { return [text](const std::string& r) { return r == text; }; };
    auto isGarbage = [](const std::string& r) {
        return r.size() >= 8 && r != "<none>" && r.find_first_of("0123456789+-.,") == std::string::npos;
    };
    auto fields = [](size_t n) {
        return [n](const std::string& r) {
            return static_cast<size_t>(std::count(r.begin(), r.end(), ',')) + 1 == n;
        };
    };
    const TCase cases[] = {
        {TInstrumentId::Dmm, TFault::Echo, "*IDN?", isIdn, is("*IDN?")},
        {TInstrumentId::Smu, TFault::Echo, "*IDN?", isIdn, is("*IDN?")},
        {TInstrumentId::Dmm, TFault::Garbage, "*IDN?", isIdn, isGarbage},
        {TInstrumentId::Smu, TFault::Garbage, ":READ?", smuReading, isGarbage},
        {TInstrumentId::Dmm, TFault::WrongFieldCount, ":READ?", dmmReading, fields(2)},
        {TInstrumentId::Smu, TFault::WrongFieldCount, ":READ?", smuReading, fields(3)},
        {TInstrumentId::Dmm, TFault::Overflow, ":READ?", dmmReading, is("+9.9E37")},
        {TInstrumentId::Smu, TFault::Overflow, ":READ?", smuReading, is("+9.9E37,+9.9E37")},
        {TInstrumentId::Dmm, TFault::FrontInputs, ":SYST:FRSW?", is("0"), is("1")},
        {TInstrumentId::Smu, TFault::FrontInputs, ":ROUT:TERM?", is("REAR"), is("FRON")},
    };
    // Both instruments as the program sets them up, the multimeter on the thermocouple.
    Exchange(smu,
             ":ROUT:TERM REAR;:SOUR:FUNC CURR;:SENS:FUNC:ON \"VOLT\",\"CURR\";:FORM:ELEM VOLT,CURR;:OUTP 1",
             false);
    Exchange(dmm, ":ROUT:CLOSE (@1);:FUNC 'VOLT:DC'", false);
    for (const TCase& c : cases) {
        SCOPED_TRACE(TInstrumentFaults::InstrumentName(c.id) + " " + TInstrumentFaults::Name(c.fault));
        const std::string& path = Path(c.id);
        const std::string& other = Path(c.id == TInstrumentId::Smu ? TInstrumentId::Dmm : TInstrumentId::Smu);
        EXPECT_TRUE(c.normal(Exchange(path, c.query)));
        sim->SetFault(c.id, c.fault, true);
        const std::string reply = Exchange(path, c.query);
        EXPECT_TRUE(c.faulty(reply)) << reply;
        EXPECT_TRUE(isIdn(Exchange(other, "*IDN?"))); // the other instrument is not affected
        sim->SetFault(c.id, c.fault, false);
        const std::string cleared = Exchange(path, c.query);
        EXPECT_TRUE(c.normal(cleared)) << cleared;
    }
    EXPECT_EQ(Exchange(smu, ":SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(Exchange(dmm, ":SYST:ERR?"), "0,\"No error\"");
}

TEST_F(PtySimulator, SilentInstrumentNeitherAnswersNorExecutesUntilCleared) {
    sim->SetFault(TInstrumentId::Smu, TFault::Silent, true);
    const TPortStats before = sim->Stats(TInstrumentId::Smu);
    const int fd = ::open(smu.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    Write(fd, "*IDN?\r:SOUR:VOLT:LEV 0.5\r");
    ASSERT_TRUE(
        WaitUntil([&] { return sim->Stats(TInstrumentId::Smu).linesReceived == before.linesReceived + 2; }));
    const TPortStats after = sim->Stats(TInstrumentId::Smu);
    EXPECT_EQ(after.linesIgnored, before.linesIgnored + 2);
    EXPECT_EQ(after.pendingReplies, 0u); // so no reply can come any more
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0);
    ::close(fd);
    // The simulator must have seen this port closed before the next one opens: a close it notices
    // late would end the next opener's exchange too.
    ASSERT_TRUE(WaitUntil([&] { return sim->Stats(TInstrumentId::Smu).openers == 0; }));

    sim->SetFault(TInstrumentId::Smu, TFault::Silent, false);
    EXPECT_EQ(Exchange(smu, ":SOUR:VOLT:LEV?"), "+0.000000E+00"); // the level was never set
    EXPECT_EQ(Exchange(smu, "*IDN?").rfind("ONDRIX-CELLSIM,", 0), 0u);
}

TEST_F(PtySimulator, SlowRepliesComeLateAndNeverReachTheNextExchange) {
    sim->SetSlowReplyMs(400);
    sim->SetFault(TInstrumentId::Dmm, TFault::Slow, true);
    const auto start = TClock::now();
    EXPECT_EQ(Exchange(dmm, ":SYST:FRSW?"), "0");
    EXPECT_GE(TClock::now() - start, std::chrono::milliseconds(400));

    // The program gives up and its next exchange starts before the late reply is out: the next
    // command interrupts the query, and the next exchange gets its own answer.
    Exchange(dmm, "*IDN?", false);
    EXPECT_EQ(Exchange(dmm, ":SYST:FRSW?"), "0");
    EXPECT_EQ(sim->Stats(TInstrumentId::Dmm).repliesInterrupted, 1u);

    // A late reply due while nobody has the port open is lost, as on a real line.
    const uint64_t dropped = sim->Stats(TInstrumentId::Dmm).repliesDropped;
    Exchange(dmm, "*IDN?", false);
    ASSERT_TRUE(WaitUntil([&] { return sim->Stats(TInstrumentId::Dmm).repliesDropped == dropped + 1; }));
    sim->SetFault(TInstrumentId::Dmm, TFault::Slow, false);
    EXPECT_EQ(Exchange(dmm, ":SYST:ERR?"), "-410,\"Query INTERRUPTED\"");
    EXPECT_EQ(Exchange(dmm, ":SYST:FRSW?"), "0");

    // A reply that arrived but was not read before the port was closed is gone at the next open.
    int fd = ::open(dmm.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    const uint64_t sent = sim->Stats(TInstrumentId::Dmm).repliesSent;
    Write(fd, "*IDN?\r");
    ASSERT_TRUE(WaitUntil([&] { return sim->Stats(TInstrumentId::Dmm).repliesSent == sent + 1; }));
    ::close(fd);
    ASSERT_TRUE(WaitUntil([&] { return sim->Stats(TInstrumentId::Dmm).openers == 0; }));
    EXPECT_EQ(Exchange(dmm, ":SYST:FRSW?"), "0");
}

TEST_F(PtySimulator, VanishedPortDisappearsAndComesBack) {
    const int held = ::open(smu.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    sim->SetFault(TInstrumentId::Smu, TFault::Vanished, true);
    EXPECT_FALSE(Exists(smu));
    EXPECT_EQ(Exchange(smu, "*IDN?"), "<cannot open>");
    // Whoever held it open sees the line hang up.
    pollfd p{held, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, kReplyDeadlineMs), 1);
    EXPECT_TRUE(p.revents & (POLLHUP | POLLERR));
    ::close(held);
    EXPECT_EQ(Exchange(dmm, "*IDN?").rfind("ONDRIX-CELLSIM,", 0), 0u);

    sim->SetFault(TInstrumentId::Smu, TFault::Vanished, false);
    EXPECT_TRUE(Exists(smu));
    EXPECT_EQ(Exchange(smu, "*IDN?").rfind("ONDRIX-CELLSIM,", 0), 0u);
}

TEST_F(PtySimulator, PowerCycleComesBackWithPowerOnSettings) {
    auto fields = [](const std::string& reply) { return std::count(reply.begin(), reply.end(), ',') + 1; };
    // Set up as the program does: rear terminals, voltage and current only, output on.
    ASSERT_EQ(Exchange(smu, ":ROUT:TERM REAR;:FORM:ELEM VOLT,CURR;:OUTP ON;*OPC?"), "1");
    ASSERT_EQ(fields(Exchange(smu, ":READ?")), 2);
    ASSERT_EQ(Exchange(dmm, ":FUNC 'RES';:ROUT:CLOS (@3);*OPC?"), "1");

    // Off for as long as the test wants it: a second cycle with no off time ends the first.
    sim->PowerCycle(TInstrumentId::Smu, 600000);
    sim->PowerCycle(TInstrumentId::Dmm, 600000, true);
    EXPECT_TRUE(sim->IsPoweredOff(TInstrumentId::Smu));
    EXPECT_TRUE(Exists(smu)) << "a mains dip leaves the port";
    EXPECT_FALSE(Exists(dmm)) << "an unplugged adapter takes the port away";
    const uint64_t ignored = sim->Stats(TInstrumentId::Smu).linesIgnored;
    const int fd = ::open(smu.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    Write(fd, "*IDN?\r");
    EXPECT_TRUE(WaitUntil([&] { return sim->Stats(TInstrumentId::Smu).linesIgnored > ignored; }));
    EXPECT_EQ(ReadReply(fd, 200), "<none>") << "an instrument that is off answers nothing";
    ::close(fd);

    sim->PowerCycle(TInstrumentId::Smu, 0);
    sim->PowerCycle(TInstrumentId::Dmm, 0);
    ASSERT_TRUE(WaitUntil(
        [&] { return !sim->IsPoweredOff(TInstrumentId::Smu) && !sim->IsPoweredOff(TInstrumentId::Dmm); }));
    EXPECT_TRUE(Exists(dmm)) << "the port is back behind the same link";
    EXPECT_EQ(Exchange(smu, ":ROUT:TERM?;:OUTP?"), "FRON;0");
    EXPECT_EQ(fields(Exchange(smu, ":ROUT:TERM REAR;:OUTP ON;:READ?")), 5) << "all five reading elements";
    EXPECT_EQ(Exchange(dmm, ":FUNC?;:ROUT:CLOS?"), "\"VOLT:DC\";(@)");

    EXPECT_EQ(sim->Control("all powercycle 0 unplug").rfind("ok", 0), 0u);
    EXPECT_EQ(sim->Control("smu powercycle soon").rfind("error", 0), 0u);
    EXPECT_EQ(sim->Control("smu powercycle 10 unplug unplug").rfind("error", 0), 0u);
    EXPECT_TRUE(WaitUntil([&] { return Exists(smu) && !sim->IsPoweredOff(TInstrumentId::Smu); }));
}

TEST(CellSimulatorRun, ScheduledPowerCycle) {
    TSimOptions options;
    options.powerCycles.push_back({TInstrumentId::Dmm, 0, 600000, false});
    TCellSimulator sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(error)) << error;
    EXPECT_TRUE(WaitUntil([&] { return sim.IsPoweredOff(TInstrumentId::Dmm); }));
    EXPECT_FALSE(sim.IsPoweredOff(TInstrumentId::Smu));
}

TEST_F(PtySimulator, ControlFifoSwitchesFaults) {
    auto control = [&](const std::string& line) {
        const int fd = ::open(sim->ControlPath().c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        Write(fd, line + "\n");
        ::close(fd);
    };
    control("dmm front on");
    ASSERT_TRUE(WaitUntil([&] { return sim->Faults(TInstrumentId::Dmm).Get(TFault::FrontInputs); }));
    EXPECT_EQ(Exchange(dmm, ":SYST:FRSW?"), "1");
    control("all slow");
    ASSERT_TRUE(WaitUntil([&] { return sim->Faults(TInstrumentId::Smu).Get(TFault::Slow); }));
    control("clear");
    ASSERT_TRUE(WaitUntil(
        [&] { return !sim->Faults(TInstrumentId::Dmm).Any() && !sim->Faults(TInstrumentId::Smu).Any(); }));
    EXPECT_EQ(Exchange(dmm, ":SYST:FRSW?"), "0");

    EXPECT_EQ(sim->Control("dmm sideways on").rfind("error", 0), 0u);
    EXPECT_EQ(sim->Control("po2 1e-5").rfind("ok", 0), 0u);
    double pO2 = 0;
    sim->WithCell([&](TSimCell& c) { pO2 = c.pO2Atm(); });
    EXPECT_NEAR(pO2 / 1e-5, 1.0, 0.05);

    // "status" tells the sample's true delta, and leaves it in the status file too.
    double delta = 0;
    sim->WithCell([&](TSimCell& c) { delta = c.SampleDelta(); });
    const std::string status = sim->Control("status");
    const std::size_t at = status.find("sample delta=");
    ASSERT_NE(at, std::string::npos) << status;
    EXPECT_NEAR(std::stod(status.substr(at + 13)), delta, 1e-3) << status;
    std::ifstream file(sim->RunDir() + "/status");
    std::string written;
    std::getline(file, written);
    EXPECT_NE(written.find("sample delta="), std::string::npos) << written;
}

TEST_F(PtySimulator, ProgramsSerialLayerValidatesAndSetsUpBothInstruments) {
    TSerialPort multimeter;
    multimeter.SetPort(QString::fromStdString(dmm));
    multimeter.SetBaudRate(19200);
    multimeter.SetWindowsReadLoopTimeoutMS(150);
    multimeter.SetReadoutTimeoutMS(kReplyDeadlineMs);
    TSerialResponse r = multimeter.Send2(QByteArray("*IDN?\r"), true);
    EXPECT_TRUE(r.Status.isEmpty()) << r.Status.constData();
    EXPECT_TRUE(r.Response.startsWith("ONDRIX-CELLSIM,"));
    EXPECT_EQ(multimeter.Send2(QByteArray(":SYST:FRSW?\r"), true).Response, "0");
    QStringList dmmCommands = SetUpSequence2000();
    dmmCommands << QStringLiteral(":ROUT:OPEN:ALL") << QStringLiteral(":ROUT:CLOSE (@3)");
    for (const QString& c : dmmCommands)
        EXPECT_TRUE(multimeter.Send2(c.toLatin1() + "\r", false).Status.isEmpty()) << c.toStdString();
    multimeter.SetWindowsReadLoopTimeoutMS(50);
    r = multimeter.Send2(QByteArray(":FUNC \"RES\";:READ?\r"), true);
    EXPECT_TRUE(std::regex_match(r.Response.toStdString(), kDmmReading)) << r.Response.constData();

    TSerialPort sourceMeter;
    sourceMeter.SetPort(QString::fromStdString(smu));
    sourceMeter.SetReadoutTimeoutMS(kReplyDeadlineMs);
    EXPECT_TRUE(sourceMeter.Send2(QByteArray("*IDN?\r"), true).Response.startsWith("ONDRIX-CELLSIM,"));
    QStringList smuCommands = SetUpSequence2401();
    smuCommands << QStringLiteral(":SENS:CURR:PROT:LEV 0.005000;:SENS:VOLT:PROT:LEV 1.100000;:SOUR:FUNC CURR;"
                                  ":SOUR:CURR:LEV 0.001000;:OUTPUT:STATE 1");
    for (const QString& c : smuCommands)
        EXPECT_TRUE(sourceMeter.Send2(c.toLatin1() + "\r", false).Status.isEmpty()) << c.toStdString();
    r = sourceMeter.Send2(QByteArray(":READ?\r"), true);
    ASSERT_TRUE(std::regex_match(r.Response.toStdString(), kSmuReading)) << r.Response.constData();
    EXPECT_NEAR(std::stod(r.Response.toStdString().substr(r.Response.indexOf(',') + 1)), 0.001, 1e-6);
    EXPECT_EQ(sourceMeter.Send2(QByteArray(":SYST:ERR?\r"), true).Response, "0,\"No error\"");
    EXPECT_EQ(multimeter.Send2(QByteArray(":SYST:ERR?\r"), true).Response, "0,\"No error\"");
}

TEST(CellSimulatorRun, SpeedFactorRunsThePhysicsAheadOfTheClock) {
    TSimOptions options;
    options.cell.noise = false;
    options.speed = 1000;
    options.controlFifo = false;
    TCellSimulator sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(error)) << error;
    const auto start = TClock::now();
    double simulated = 0;
    ASSERT_TRUE(WaitUntil([&] {
        sim.WithCell([&](TSimCell& c) { simulated = c.TimeS(); });
        return simulated >= 200;
    }));
    const double wall = std::chrono::duration<double>(TClock::now() - start).count();
    EXPECT_GT(simulated / wall, 5.0); // a real-time cell would need 200 s
    sim.Stop();
}

TEST(CellSimulatorRun, WireTimeAddsTheBytesAtTheLineSpeed) {
    TSimOptions options;
    options.wireTime = true;
    options.smuBaud = 1200;
    options.controlFifo = false;
    TCellSimulator sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(error)) << error;
    const auto start = TClock::now();
    const std::string reply = Exchange(sim.PortPath(TInstrumentId::Smu), "*IDN?");
    const double elapsed = std::chrono::duration<double>(TClock::now() - start).count();
    // "*IDN?" and CR out, the reply and CR back, 10 bits per byte.
    EXPECT_GE(elapsed, (6.0 + reply.size() + 1) * 10 / 1200);
    sim.Stop();
}

TEST(CellSimulatorRun, ExecutablePrintsItsPortsAndCleansUpOnTerminate) {
    const QString program = QCoreApplication::applicationDirPath() + "/ondrix-cellsim";
    if (!QFileInfo(program).isExecutable())
        GTEST_SKIP() << "ondrix-cellsim not built next to the test";
    QProcess process;
    process.start(program, {"--no-noise", "--fault", "dmm:front"});
    ASSERT_TRUE(process.waitForStarted(kReplyDeadlineMs));
    std::string lines;
    ASSERT_TRUE(WaitUntil([&] {
        process.waitForReadyRead(50);
        lines += process.readAllStandardOutput().toStdString();
        return std::count(lines.begin(), lines.end(), '\n') >= 2;
    }));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(lines, m, std::regex(R"(SMU (\S+)\nDMM (\S+)\n)"))) << lines;
    const std::string smuPath = m[1];
    const std::string dmmPath = m[2];
    EXPECT_EQ(Exchange(smuPath, "*IDN?").rfind("ONDRIX-CELLSIM,MODEL 2401", 0), 0u);
    EXPECT_EQ(Exchange(dmmPath, ":SYST:FRSW?"), "1");

    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(kReplyDeadlineMs));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_FALSE(Exists(smuPath));
    EXPECT_FALSE(Exists(dmmPath));
    EXPECT_FALSE(Exists(smuPath.substr(0, smuPath.rfind('/')))); // its own run folder
}

TEST(CellSimulatorRun, StopRemovesLinksFifoAndOwnRunFolder) {
    TCellSimulator sim;
    std::string error;
    ASSERT_TRUE(sim.Start(error)) << error;
    const std::string dir = sim.RunDir();
    const std::string smu = sim.PortPath(TInstrumentId::Smu);
    EXPECT_TRUE(Exists(smu));
    EXPECT_TRUE(Exists(sim.ControlPath()));
    sim.Stop();
    EXPECT_FALSE(Exists(smu));
    EXPECT_FALSE(Exists(dir));
}

TEST(CellSimulatorRun, CommandLineOptions) {
    struct TCase {
        std::vector<const char*> args;
        bool ok;
    };
    const TCase cases[] = {
        {{"--speed", "50", "--po2=1e-5", "--fault", "all:slow", "--fault=smu:vanish", "--terminator", "crlf",
          "--power-cycle", "smu:30:1500:unplug"},
         true},
        {{"--power-cycle", "smu"}, false},       // no time
        {{"--power-cycle", "scope:1"}, false},   // no such instrument
        {{"--power-cycle", "dmm:1:-5"}, false},  // negative off time
        {{"--power-cycle", "dmm:1:5:6"}, false}, // one value too many
        {{"--speed"}, false},                    // value missing
        {{"--speed", "fast"}, false},            // not a number
        {{"--room", "80"}, false},               // beyond the thermistor's range
        {{"--fault", "dmm:sideways"}, false},
        {{"--fault", "scope:silent"}, false},
        {{"--no-noise=1"}, false}, // a switch takes no value
        {{"--bogus"}, false},
    };
    for (const TCase& c : cases) {
        std::vector<const char*> argv = {"ondrix-cellsim"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        TSimOptions options;
        bool help = false;
        std::string error;
        EXPECT_EQ(TSimOptionParser::Parse(static_cast<int>(argv.size()), argv.data(), options, help, error),
                  c.ok)
            << c.args.front() << " " << error;
        if (c.ok) {
            EXPECT_EQ(options.speed, 50);
            EXPECT_EQ(options.cell.initialpO2Atm.value_or(0), 1e-5);
            EXPECT_EQ(options.faults.size(), 3u);
            EXPECT_EQ(options.terminator, "\r\n");
            ASSERT_EQ(options.powerCycles.size(), 1u);
            EXPECT_EQ(options.powerCycles[0].afterMs, 30000);
            EXPECT_EQ(options.powerCycles[0].offMs, 1500);
            EXPECT_TRUE(options.powerCycles[0].unplug);
        }
    }
}
