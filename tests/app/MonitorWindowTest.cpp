// The web monitor in the program's window against the simulated cell: a galvanostatic run read
// through the monitor while it goes, the token when it listens beyond this computer, the switch on
// the "Configuration" page, and a window that stays responsive under bad and slow clients.
#include "app/ConfigurationPage.h"
#include "app/ExperimentControlPage.h"
#include "app/StatusPane.h"
#include "app/TRtDoubleEdit.h"
#include "common/NumberFormat.h"
#include "diagnostics/EventLog.h"
#include "experiment/InstrumentSettings.h"
#include "experiment/TExperimentModel.h"
#include "monitor/MonitorConfig.h"
#include "monitor/MonitorServer.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGridModel.h"
#include "tests/support/HttpProbe.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowOnSimulator.h"

#include <QCheckBox>
#include <QFile>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

class MonitorWindow : public WindowOnSimulatorTest<> {
protected:
    void SetUp() override { StartSimulatedCell(); }
    // The window with points of 1 s.
    void Open() { OpenWindow(1); }
    // Listens on `address` and a free port.
    void StartMonitor(const QString& address) {
        TMonitorConfig c;
        c.Address = address;
        c.Port = 0;
        QString error;
        ASSERT_TRUE(w->StartMonitor(c, &error)) << error.toStdString();
        port = w->Monitor().Port();
    }
    double GridValue(int row, TProperty p) const { return w->DataGrid->Row(row)[p]; }
    // Whether a call queued now runs within a second: the window's thread is not held up.
    static bool Responsive() {
        bool answered = false;
        QTimer::singleShot(0, [&] { answered = true; });
        return WaitUntil([&] { return answered; }, 1000);
    }

    std::uint16_t port = 0;
};

TEST_F(MonitorWindow, LoopbackServesAGalvanostaticRunAsItGoes) {
    Open();
    StartMonitor(QStringLiteral("127.0.0.1"));
    TEventStreamProbe stream;
    ASSERT_TRUE(stream.Open(port, "/api/stream?rows=0&events=0"));
    StartGalvanostatic(2);
    ASSERT_TRUE(WaitUntil([&] { return w->DataGrid->RowCount() >= 5; }, 90000));

    // The status as the window's status bar has it, and the newest point.
    QJsonObject status;
    ASSERT_TRUE(WaitUntil(
        [&] {
            status = HttpGet(port, "/api/status").Json();
            return status[QStringLiteral("latest")].isObject();
        },
        20000));
    EXPECT_EQ(status[QStringLiteral("state")].toString(), QStringLiteral("SetCurrent"));
    EXPECT_TRUE(status[QStringLiteral("mode")].toString().contains(QStringLiteral("SetCurrent")));
    EXPECT_EQ(status[QStringLiteral("mode")].toString(), w->RzStatusPaneStep->Caption());
    EXPECT_EQ(status[QStringLiteral("notice")].toString(), w->RzStatusPaneNotice->Caption());
    EXPECT_TRUE(status[QStringLiteral("instrumentsValid")].toBool());
    for (const QString link : {QStringLiteral("SMU"), QStringLiteral("DMM")})
        EXPECT_EQ(status[QStringLiteral("links")][link][QStringLiteral("state")].toString(),
                  QStringLiteral("OK"));
    const QJsonObject latest = status[QStringLiteral("latest")].toObject();
    EXPECT_NEAR(latest[QStringLiteral("pumpI")].toDouble(), 2e-6, 0.1e-6);
    EXPECT_NEAR(latest[QStringLiteral("cellT")].toDouble(), 700, 5);
    EXPECT_GT(latest[QStringLiteral("cellpO2")].toDouble(), 0);
    EXPECT_FALSE(latest[QStringLiteral("time")].toString().isEmpty());
    EXPECT_TRUE(status[QStringLiteral("journal")].toString().endsWith(QStringLiteral(".journal.csv")));

    // Every row the grid holds, with the grid's numbers, in the grid's order.
    const int gridRows = w->DataGrid->RowCount();
    const QJsonObject page = HttpGet(port, "/api/rows?since=0&limit=10000").Json();
    const QJsonArray rows = page[QStringLiteral("rows")].toArray();
    ASSERT_GE(rows.size(), gridRows - 1) << "rows entered before the request";
    EXPECT_GE(page[QStringLiteral("total")].toInt(), rows.size());
    const int compared = std::min<int>(rows.size(), gridRows) - 1; // row 0 of the grid is its header
    for (int i = 0; i < compared; ++i) {
        SCOPED_TRACE(i);
        const QJsonArray r = rows[i].toArray();
        const int g = i + 1;
        EXPECT_DOUBLE_EQ(r[int(TProperty::Mode)].toDouble(), GridValue(g, TProperty::Mode));
        if (r[int(TProperty::Mode)].toDouble() < 10)
            continue; // a mode change
        for (TProperty p : {TProperty::PumpI, TProperty::PumpV, TProperty::Temp, TProperty::CellpO2})
            EXPECT_DOUBLE_EQ(r[int(p)].toDouble(), GridValue(g, p)) << Col(p).Caption.toStdString();
        EXPECT_GT(r[int(TProperty::Date)].toDouble(), 1.7e12) << "ms since 1970";
    }
    EXPECT_EQ(rows[0].toArray()[int(TProperty::Mode)].toInt(), int(TProgramState::SetCurrent))
        << "the run begins with its mode change";

    // The event log of this run, the mode change included.
    const QJsonArray events = HttpGet(port, "/api/events?since=0").Json()[QStringLiteral("events")].toArray();
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const QJsonValue& e) {
        return e[QStringLiteral("source")].toString() == QStringLiteral("Mode") &&
               e[QStringLiteral("text")].toString() == QStringLiteral("set to SetCurrent");
    }));

    // The stream has carried the rows and the events as they came.
    int streamedRows = 0;
    bool streamedMode = false;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const auto& e : stream.Read(20)) {
                const QJsonObject m = QJsonDocument::fromJson(e.Data).object();
                if (e.Name == "rows")
                    streamedRows += m[QStringLiteral("rows")].toArray().size();
                if (e.Name == "events" && e.Data.contains("set to SetCurrent"))
                    streamedMode = true;
            }
            return streamedRows >= gridRows - 1 && streamedMode;
        },
        30000))
        << streamedRows << " rows streamed";
}

TEST_F(MonitorWindow, OffLoopbackEveryPathWantsTheToken) {
    // The settings file has its sections already; the monitor adds its own and changes no other.
    const QString ini = TInstrumentSettings::DefaultPath();
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[2401_SourceMeter]\r\nComPort=COM7\r\n[StepProgram]\r\nLastFile=Programs/a.program\r\n");
    }
    Open();
    StartMonitor(QStringLiteral("0.0.0.0"));
    const QString token = w->ConfigurationPage->EditMonitorToken->text();
    ASSERT_EQ(token.size(), 32);
    EXPECT_EQ(TInstrumentSettings(ini).Monitor().Token, token) << "kept for the next start";
    EXPECT_EQ(TInstrumentSettings(ini).Read().SMU, QStringLiteral("COM7"));
    EXPECT_TRUE(TInstrumentSettings(ini).LastStepProgram().endsWith(QStringLiteral("Programs/a.program")));
    EXPECT_FALSE(TInstrumentSettings(ini).Monitor().Enabled)
        << "the command line does not switch it on for good";

    StartGalvanostatic(2);
    ASSERT_TRUE(WaitUntil([&] { return w->DataGrid->RowCount() >= 3; }, 90000));
    for (const QByteArray path :
         {"/", "/api/status", "/api/rows", "/api/rows?since=0&limit=10", "/api/events", "/api/stream",
          "/favicon.ico", "/api/rows?limit=100000000"}) {
        SCOPED_TRACE(path.toStdString());
        const THttpReply stranger = HttpGet(port, path);
        EXPECT_EQ(stranger.Status, 401);
        EXPECT_FALSE(stranger.Body.contains("SetCurrent"));
        EXPECT_FALSE(stranger.Body.contains("rows\":["));
        const QByteArray sep = path.contains('?') ? "&" : "?";
        // The token with its last character changed (a token ending in "0" would otherwise match).
        const QByteArray wrong = token.left(31).toLatin1() + (token.endsWith(u'0') ? "1" : "0");
        EXPECT_EQ(HttpGet(port, path + sep + "token=" + wrong).Status, 401);
    }
    const QByteArray bearer = "Authorization: Bearer " + token.toLatin1() + "\r\n";
    const QJsonObject status = HttpGet(port, "/api/status", bearer).Json();
    EXPECT_EQ(status[QStringLiteral("state")].toString(), QStringLiteral("SetCurrent"));
    EXPECT_EQ(HttpGet(port, "/?token=" + token.toLatin1()).Status, 200);

    // A new token from the page: the old one is refused at once, and the command line's server
    // does not become a setting.
    QTest::mouseClick(w->ConfigurationPage->ButtonMonitorNewToken, Qt::LeftButton);
    const QString renewed = w->ConfigurationPage->EditMonitorToken->text();
    ASSERT_NE(renewed, token);
    EXPECT_EQ(w->Monitor().Port(), port);
    EXPECT_EQ(HttpGet(port, "/api/status?token=" + token.toLatin1()).Status, 401);
    EXPECT_EQ(HttpGet(port, "/api/status?token=" + renewed.toLatin1()).Status, 200);
    const TMonitorSettings saved = TInstrumentSettings(ini).Monitor();
    EXPECT_EQ(saved.Token, renewed);
    EXPECT_FALSE(saved.Enabled);
    EXPECT_EQ(saved.Address, QStringLiteral("127.0.0.1"));
}

TEST_F(MonitorWindow, ConfigurationPageSwitchesItAndRenewsTheToken) {
    Open();
    TConfigurationPage* p = w->ConfigurationPage;
    EXPECT_FALSE(w->Monitor().IsRunning()) << "off by default";
    QTcpServer probe; // a free port for the page's box
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const int free = probe.serverPort();
    probe.close();
    p->SpinMonitorPort->setValue(free);
    p->EditMonitorAddress->setText(QStringLiteral("0.0.0.0"));
    // A row from before the monitor was on: it is served all the same, once.
    w->Model().AppendModeChangeRow(TProgramState::Paused);
    p->CheckBoxMonitor->setChecked(true);
    ASSERT_TRUE(w->Monitor().IsRunning());
    const auto rowsServed = [&](const QString& token) {
        return HttpGet(free, "/api/rows?since=0&limit=100&token=" + token.toLatin1())
            .Json()[QStringLiteral("rows")]
            .toArray()
            .size();
    };
    EXPECT_EQ(w->Monitor().Port(), free);
    const TMonitorSettings saved = TInstrumentSettings(TInstrumentSettings::DefaultPath()).Monitor();
    EXPECT_TRUE(saved.Enabled);
    EXPECT_EQ(saved.Address, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(saved.Port, free);
    const QString first = p->EditMonitorToken->text();
    ASSERT_EQ(saved.Token, first);
    EXPECT_EQ(HttpGet(free, "/api/status?token=" + first.toLatin1()).Status, 200);
    EXPECT_EQ(rowsServed(first), 1);

    // A new token: the old one is refused from now on.
    QTest::mouseClick(p->ButtonMonitorNewToken, Qt::LeftButton);
    const QString second = p->EditMonitorToken->text();
    EXPECT_NE(second, first);
    EXPECT_EQ(HttpGet(free, "/api/status?token=" + first.toLatin1()).Status, 401);
    EXPECT_EQ(HttpGet(free, "/api/status?token=" + second.toLatin1()).Status, 200);
    EXPECT_EQ(rowsServed(second), 1) << "a restarted server does not take the rows twice";

    // A bad address is said on the page and nothing listens.
    p->EditMonitorAddress->setText(QStringLiteral("not-an-address"));
    emit p->EditMonitorAddress->editingFinished();
    EXPECT_FALSE(w->Monitor().IsRunning());
    p->EditMonitorAddress->setText(QStringLiteral("127.0.0.1"));
    emit p->EditMonitorAddress->editingFinished();
    EXPECT_TRUE(w->Monitor().IsRunning());
    p->CheckBoxMonitor->setChecked(false);
    EXPECT_FALSE(w->Monitor().IsRunning());
    EXPECT_FALSE(TInstrumentSettings(TInstrumentSettings::DefaultPath()).Monitor().Enabled);
}

// Bad, oversized and stalled requests from another thread, bounded in count and time, while a run
// goes: the window answers throughout and its rows keep coming.
TEST_F(MonitorWindow, BadClientsLeaveTheWindowResponsive) {
    Open();
    StartMonitor(QStringLiteral("127.0.0.1"));
    StartGalvanostatic(2);
    ASSERT_TRUE(WaitUntil([&] { return w->DataGrid->RowCount() >= 3; }, 90000));
    const QByteArray cases[] = {
        "GET /api/status HTTP/1.1\r\nX-Big: " + QByteArray(100 * 1024, 'x') + "\r\n\r\n",
        "GET /api/rows?since=0&limit=99999999999 HTTP/1.1\r\nHost: x\r\n\r\n",
        "GET /../../../etc/passwd HTTP/1.1\r\n\r\n",
        QByteArray(5000, '\xff'),
        "GET /api/status HTTP/1.1\r\nHost: x\r\n", // never ends
        "POST /api/status HTTP/1.1\r\nContent-Length: 5000000\r\n\r\nabc",
    };
    // All at once, each from a thread of its own: the slow ones end at the request deadline.
    std::atomic<int> done{0}, bounded{0};
    const std::uint16_t p = port;
    std::vector<std::thread> clients;
    for (const QByteArray& raw : cases)
        clients.emplace_back([&, raw] {
            const THttpReply r = RawRequest(p, raw, 30000);
            if (r.Closed && (r.Status == 0 || (r.Status >= 400 && r.Status < 500)))
                ++bounded;
            ++done;
        });
    const int rowsBefore = w->DataGrid->RowCount();
    int answered = 0, asked = 0;
    WaitUntil(
        [&] {
            ++asked;
            if (Responsive())
                ++answered;
            return done.load() == int(std::size(cases));
        },
        120000);
    for (std::thread& t : clients)
        t.join();
    EXPECT_EQ(answered, asked) << "the window missed a queued call";
    EXPECT_EQ(bounded.load(), int(std::size(cases)));
    EXPECT_TRUE(WaitUntil([&] { return w->DataGrid->RowCount() > rowsBefore + 2; }, 60000));
    EXPECT_EQ(HttpGet(port, "/api/status").Status, 200);
}

} // namespace
