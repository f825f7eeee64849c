#include "instruments/TSerialPort.h"

#include "diagnostics/LogChannel.h"
#include "diagnostics/LogFileDestination.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

namespace {

using TPiece = TPtyPeer::TPiece;

const QString kPollNoData = QStringLiteral("Waiting for data from que. Timeout=False DataAvailable=False");
const QString kPollData = QStringLiteral("Waiting for data from que. Timeout=False DataAvailable=True");
const QString kPollTimedOut = QStringLiteral("Waiting for data from que. Timeout=True DataAvailable=False");

// The "Serial port" entries of one test, from a log file in a temporary folder. Sections show as
// "> name" and "< name", messages as their text; repeated poll lines are collapsed into one, since
// how many polls fit into a wait depends on the machine.
class TSerialLog {
public:
    TSerialLog() : fCapture(LogSerialPort) {}
    QStringList Entries() const {
        QStringList out;
        for (const TLogEntry& e : fCapture.Entries()) {
            if (e.category != LogSerialPort.Category)
                continue;
            const QString entry = e.kind == QLatin1String("enter")  ? QStringLiteral("> ") + e.text
                                  : e.kind == QLatin1String("exit") ? QStringLiteral("< ") + e.text
                                                                    : e.text;
            if (!(entry.startsWith(QLatin1String("Waiting for data from que.")) && !out.isEmpty() &&
                  out.last() == entry))
                out << entry;
        }
        return out;
    }

private:
    TLogCapture fCapture;
};

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.IsOpen()) << "no pseudo-terminal available";
        port.SetPort(peer.PortPath());
        port.SetReadoutTimeoutMS(2000);
    }
    QStringList Framed(const QStringList& middle) const {
        return QStringList{QStringLiteral("> Send2"), QStringLiteral("Port: ") + port.Port()} + middle +
               QStringList{QStringLiteral("< Send2")};
    }

    TPtyPeer peer;
    TSerialPort port;
    TSerialLog log;
};

// ---- Send2: every outcome of an exchange with a device that answers, or does not ----

struct OutcomeCase {
    const char* name;
    std::vector<TPiece> reply; // empty: the device stays silent
    quint32 readoutTimeoutMS;
    bool waitForResponse;
    const char* status;
    QByteArray response;
    QStringList logAfterWrite; // entries after "As string    : ..." up to the exit marker
};

const QString kWaiting = QStringLiteral("Waiting for reply");
const QString kTimeoutText = QStringLiteral("Timeout while waiting for response");

// Replies start 300 ms after the request, so the first polls find nothing.
const OutcomeCase kOutcomes[] = {
    {"NumberWithCrLf",
     {{"+1.234567E-04\r\n", 300}},
     2000,
     true,
     "",
     "+1.234567E-04",
     {kWaiting, kPollNoData, kPollData, QStringLiteral("Response: +1.234567E-04")}},
    {"ControlCharactersAroundTheReplyAreDropped",
     {{QByteArray("\0\t +2.5E-01,-1.0E-06 \r\n", 22), 300}},
     2000,
     true,
     "",
     "+2.5E-01,-1.0E-06",
     {kWaiting, kPollNoData, kPollData, QStringLiteral("Response: +2.5E-01,-1.0E-06")}},
    {"OnlyCrLfGivesAnEmptyReplyWithoutFailure",
     {{"\r\n", 300}},
     2000,
     true,
     "",
     "",
     {kWaiting, kPollNoData, kPollData, QStringLiteral("Response: ")}},
    {"ReplyEndsAtAGapInTheData",
     {{"+1.0\r\n", 300}, {"+2.0\r\n", 900}},
     2000,
     true,
     "",
     "+1.0",
     {kWaiting, kPollNoData, kPollData, QStringLiteral("Response: +1.0")}},
    {"SilentDevice",
     {},
     300,
     true,
     TSerialPort::StatusNoResponse,
     "",
     {kWaiting, kPollNoData, kPollTimedOut, kTimeoutText}},
    {"ReplyStartsAfterTheDeadline",
     {{"+1.0\r\n", 1200}},
     300,
     true,
     TSerialPort::StatusNoResponse,
     "",
     {kWaiting, kPollNoData, kPollTimedOut, kTimeoutText}},
    {"NoWaitForAReply",
     {{"+1.0\r\n", 0}},
     2000,
     false,
     "",
     "",
     {QStringLiteral("Exit read/write without waiting for reply")}},
};

void PrintTo(const OutcomeCase& c, std::ostream* os) {
    *os << c.name;
}

class Send2Outcome : public SerialPortTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(Send2Outcome, StatusResponseAndLog) {
    const OutcomeCase& c = GetParam();
    const std::vector<TPiece> reply = c.reply;
    peer.SetResponder([reply](const QByteArray&) { return reply; });
    port.SetReadoutTimeoutMS(c.readoutTimeoutMS);

    const TSerialResponse r = port.Send2(QByteArray(":READ?\r"), c.waitForResponse);

    EXPECT_EQ(r.Status, QByteArray(c.status));
    EXPECT_EQ(r.Response, c.response);
    EXPECT_EQ(r.SentMessage, ":READ?\r");
    ASSERT_TRUE(peer.WaitForRequests(1));
    EXPECT_EQ(peer.Requests(), QList<QByteArray>{":READ?\r"}); // exactly the message, nothing added
    EXPECT_EQ(log.Entries(), Framed(QStringList{QStringLiteral("Bytes written: 7"),
                                                QStringLiteral("As string    : :READ?")} +
                                    c.logAfterWrite));
}

INSTANTIATE_TEST_SUITE_P(Cases, Send2Outcome, ::testing::ValuesIn(kOutcomes),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Send2: ports that cannot be used ----

TEST_F(SerialPortTest, PortThatDoesNotExistFailsQuietly) {
    const QStringList names = {QStringLiteral("/dev/ttyNoSuchPort7"), QStringLiteral("ttyNoSuchPort7"),
                               QString()};
    QStringList expected;
    for (const QString& name : names) {
        port.SetPort(name);
        const TSerialResponse r = port.Send2(QByteArray("*IDN?\r"), true);
        EXPECT_EQ(r.Status, TSerialPort::StatusPortInUse) << name.toStdString();
        EXPECT_EQ(r.Response, "");
        EXPECT_EQ(r.SentMessage, "*IDN?\r");
        expected += Framed({});
    }
    EXPECT_EQ(log.Entries(), expected); // nothing but the markers and the port
}

TEST_F(SerialPortTest, PortHeldElsewhereFailsUntilReleased) {
    peer.ReplyAlways("KEITHLEY\r\n");
    {
        QSerialPort holder;
        holder.setPortName(peer.PortPath());
        ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
        const TSerialResponse r = port.Send2(QByteArray("*IDN?\r"), true);
        EXPECT_EQ(r.Status, TSerialPort::StatusPortInUse);
        EXPECT_EQ(r.Response, "");
    }
    EXPECT_TRUE(peer.Requests().isEmpty());
    EXPECT_EQ(log.Entries(), Framed({}));
    // Nothing to reconnect: the next exchange opens the port afresh.
    const TSerialResponse r = port.Send2(QByteArray("*IDN?\r"), true);
    EXPECT_EQ(r.Status, "");
    EXPECT_EQ(r.Response, "KEITHLEY");
}

TEST_F(SerialPortTest, RefusedLineSettingsWriteNothing) {
    port.SetBaudRate(-1);
    const TSerialResponse r = port.Send2(QByteArray("*IDN?\r"), true);
    EXPECT_EQ(r.Status, TSerialPort::StatusPortInUse);
    port.SetBaudRate(57600);
    EXPECT_EQ(port.Send2(QByteArray("*RST\r"), false).Status, "");
    ASSERT_TRUE(peer.WaitForRequests(1));
    EXPECT_EQ(peer.Requests(), QList<QByteArray>{"*RST\r"});
}

// ---- Send2: what goes over the line ----

TEST_F(SerialPortTest, PortNamesAndLineSettings) {
    // A full path and a name under /dev reach the same device; the line is 8N1 at the configured
    // speed without flow control, raw, whatever speed the previous exchange used.
    struct {
        QString name;
        qint32 baud;
    } const cases[] = {{peer.PortPath(), 19200}, {peer.PortPath().mid(5), 57600}, {peer.PortPath(), 9600}};
    ASSERT_TRUE(peer.PortPath().startsWith(QLatin1String("/dev/")));
    // The peer notes the settings when a request arrives; the reply keeps the port open till then.
    peer.ReplyAlways("OK\r", 100);
    for (const auto& c : cases) {
        port.SetPort(c.name);
        port.SetBaudRate(c.baud);
        EXPECT_EQ(port.Send2(QByteArray("*OPC?\r"), true).Response, "OK") << c.name.toStdString();
    }
    ASSERT_TRUE(peer.WaitForRequests(3));
    const QList<TPtyPeer::TLine> lines = peer.LinesAtRequests();
    ASSERT_EQ(lines.size(), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(lines[i].baud, cases[i].baud);
        EXPECT_EQ(lines[i].dataBits, 8);
        EXPECT_FALSE(lines[i].parity);
        EXPECT_FALSE(lines[i].twoStopBits);
        EXPECT_FALSE(lines[i].hardwareFlow);
        EXPECT_FALSE(lines[i].softwareFlow);
        EXPECT_TRUE(lines[i].raw);
    }
}

TEST_F(SerialPortTest, LateReplyDoesNotPassForTheNextOne) {
    // The first request is answered too late; its reply waits in the line's input queue while the
    // port is closed. The next exchange must get its own reply, not the stale one.
    peer.SetResponder([](const QByteArray& request) {
        return request == "A?\r" ? std::vector<TPiece>{{"late A\r\n", 600}}
                                 : std::vector<TPiece>{{"B\r\n", 100}};
    });
    port.SetReadoutTimeoutMS(150);
    EXPECT_EQ(port.Send2(QByteArray("A?\r"), true).Status, TSerialPort::StatusNoResponse);
    ASSERT_TRUE(peer.WaitForPiecesSent(1));

    port.SetReadoutTimeoutMS(2000);
    const TSerialResponse r = port.Send2(QByteArray("B?\r"), true);
    EXPECT_EQ(r.Status, "");
    EXPECT_EQ(r.Response, "B");
}

TEST_F(SerialPortTest, LongReplyIsCutAtTheReadLimit) {
    const QByteArray endless(TSerialPort::ReplyLimit + 2000, 'x');
    peer.ReplyAlways(endless);
    const TSerialResponse r = port.Send2(QByteArray(":DATA?\r"), true);
    EXPECT_EQ(r.Status, "");
    EXPECT_EQ(r.Response, endless.left(TSerialPort::ReplyLimit));
}

TEST_F(SerialPortTest, WorksFromAWorkerThread) {
    // The instrument threads create their port objects and exchange inside their own loops.
    peer.ReplyAlways("+2.500123E-01,-1.234567E-04\r", 50);
    TSerialResponse r;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        TSerialPort own;
        own.SetPort(peer.PortPath());
        own.SetReadoutTimeoutMS(2000);
        r = own.Send2(QByteArray(":READ?\r"), true);
    }));
    worker->start();
    ASSERT_TRUE(worker->wait(30000));
    EXPECT_EQ(r.Status, "");
    EXPECT_EQ(r.Response, "+2.500123E-01,-1.234567E-04");
}

TEST_F(SerialPortTest, SendReturnsOnlyTheReply) {
    peer.ReplyAlways("KEITHLEY INSTRUMENTS INC.,MODEL 2000\r\n");
    EXPECT_EQ(port.Send(QByteArray("*IDN?\r"), true), "KEITHLEY INSTRUMENTS INC.,MODEL 2000");
    port.SetPort(QStringLiteral("/dev/ttyNoSuchPort7"));
    EXPECT_EQ(port.Send(QByteArray("*IDN?\r"), true), "");
}

// ---- SendData ----

struct DataCase {
    const char* name;
    std::vector<TPiece> reply;
    bool waitForResponse;
    const char* status;
    QByteArray response;
};

const DataCase kDataCases[] = {
    {"BinaryReply",
     {{QByteArray("\x01\x03\x02\x12\x34\x00\r\n", 8), 50}},
     true,
     "",
     QByteArray("\x01\x03\x02\x12\x34\x00\r\n", 8)},
    {"ShortReply", {{"\x01\x02\r", 50}}, true, "", "\x01\x02\r"},
    {"ReplyBeyond256BytesIsCut", {{QByteArray(300, '\xff'), 50}}, true, "", QByteArray(256, '\xff')},
    {"SilentDevice", {}, true, TSerialPort::StatusNoResponse, ""},
    {"NoWaitForAReply", {{"\x01\x02\x03\x04\x05\r", 0}}, false, "", ""},
};

void PrintTo(const DataCase& c, std::ostream* os) {
    *os << c.name;
}

class SendDataOutcome : public SerialPortTest, public ::testing::WithParamInterface<DataCase> {};

TEST_P(SendDataOutcome, FieldsAndNoLog) {
    const DataCase& c = GetParam();
    const std::vector<TPiece> reply = c.reply;
    peer.SetResponder([reply](const QByteArray&) { return reply; });
    port.SetReadoutTimeoutMS(c.status[0] ? 300 : 2000);
    const char request[] = {'\x01', '\x03', '\x00', '\x10', '\r'};

    const TSerialResponse r = port.SendData(request, int(sizeof request), c.waitForResponse);

    EXPECT_EQ(r.Status, QByteArray(c.status));
    EXPECT_EQ(r.Response, c.response);
    ASSERT_TRUE(peer.WaitForRequests(1));
    EXPECT_EQ(peer.Requests().first(), QByteArray(request, sizeof request));
    EXPECT_TRUE(log.Entries().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, SendDataOutcome, ::testing::ValuesIn(kDataCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialPortTest, SendDataFailuresAreNotReportedAsSuccess) {
    // Data that cannot be read is a failed write, also when no reply is awaited.
    EXPECT_EQ(port.SendData(nullptr, 5, false).Status, TSerialPort::StatusWriteFailed);
    const char byte = '\r';
    EXPECT_EQ(port.SendData(&byte, -1, false).Status, TSerialPort::StatusWriteFailed);
    port.SetPort(QStringLiteral("/dev/ttyNoSuchPort7"));
    EXPECT_EQ(port.SendData(&byte, 1, true).Status, TSerialPort::StatusPortInUse);
    EXPECT_TRUE(peer.Requests().isEmpty());
}

// ---- Settings on a port that is not open ----

TEST_F(SerialPortTest, SettingsNeedAnOpenPort) {
    QSerialPort closed;
    EXPECT_FALSE(port.SetDCBState(closed));
    EXPECT_FALSE(port.SetTimeOuts(closed));
    EXPECT_FALSE(port.SetBuffers(closed));
    closed.setPortName(peer.PortPath());
    ASSERT_TRUE(closed.open(QIODevice::ReadWrite));
    EXPECT_TRUE(port.SetDCBState(closed)); // the pseudo-terminal's missing modem lines are no failure
    EXPECT_TRUE(port.SetTimeOuts(closed));
    EXPECT_TRUE(port.SetBuffers(closed));
}

} // namespace
