// A real Prometheus scrapes the monitor's /metrics and serves the pO2 series through its query
// API: the proof that the text is what a lab's Prometheus reads. Skipped where no prometheus
// binary is installed (scripts/install-deps.sh installs it).
#include "monitor/MonitorFeed.h"
#include "monitor/MonitorServer.h"
#include "tests/support/HttpProbe.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

// A port nobody on loopback listens on now.
std::uint16_t FreeLoopbackPort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

// Prometheus as a child process, stopped whatever way the test ends.
class TPrometheus {
public:
    ~TPrometheus() {
        if (fProcess.state() == QProcess::NotRunning)
            return;
        fProcess.terminate();
        if (!fProcess.waitForFinished(15000)) {
            fProcess.kill();
            fProcess.waitForFinished(5000);
        }
    }
    bool Start(const QString& binary, const QString& config, const QString& storage, std::uint16_t port) {
        fProcess.setProcessChannelMode(QProcess::MergedChannels);
        fProcess.start(binary, {QStringLiteral("--config.file=") + config,
                                QStringLiteral("--storage.tsdb.path=") + storage,
                                QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(port)});
        return fProcess.waitForStarted(15000);
    }
    bool Running() const { return fProcess.state() == QProcess::Running; }
    QByteArray Output() {
        fOutput += fProcess.readAll();
        return fOutput;
    }

private:
    QProcess fProcess;
    QByteArray fOutput;
};

TEST(MonitorPrometheus, ScrapesThePO2SeriesFromMetrics) {
    TMonitorFeed feed;
    TMonitorStatus status;
    status.Experiment = QStringLiteral("LSC \"64\"");
    status.State = QStringLiteral("SetCurrent");
    feed.SetStatus(status);
    TDataRow row;
    row[TProperty::Mode] = 12;
    row[TProperty::CellpO2] = 1.5e-7;
    row[TProperty::Temp] = 700;
    row[TProperty::Date] = DateTimeFromQt(QDateTime::currentDateTime());
    feed.AddRow(row);

    TMonitorServer server(feed);
    TMonitorConfig config; // 127.0.0.1: no token on loopback
    config.Port = 0;
    QString error;
    ASSERT_TRUE(server.Start(config, &error)) << error.toStdString();

    const THttpReply metrics = HttpGet(server.Port(), "/metrics");
    ASSERT_EQ(metrics.Status, 200);
    EXPECT_TRUE(metrics.Head.contains("Content-Type: text/plain; version=0.0.4; charset=utf-8"));
    EXPECT_TRUE(metrics.Body.contains("ondrix_cell_po2_atm{experiment=\"LSC \\\"64\\\"\"} 1.5e-07\n"))
        << metrics.Body.toStdString();

    const QString binary = QStandardPaths::findExecutable(QStringLiteral("prometheus"));
    if (binary.isEmpty())
        GTEST_SKIP() << "no prometheus binary (scripts/install-deps.sh installs it)";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString configFile = dir.filePath(QStringLiteral("prometheus.yml"));
    {
        QFile f(configFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("global:\n"
                               "  scrape_interval: 1s\n"
                               "  scrape_timeout: 1s\n"
                               "scrape_configs:\n"
                               "  - job_name: ondrix\n"
                               "    static_configs:\n"
                               "      - targets: ['127.0.0.1:%1']\n")
                    .arg(server.Port())
                    .toUtf8());
    }
    const std::uint16_t port = FreeLoopbackPort();
    ASSERT_NE(port, 0);
    TPrometheus prometheus;
    ASSERT_TRUE(prometheus.Start(binary, configFile, dir.filePath(QStringLiteral("data")), port));

    // Prometheus needs a few seconds to open its store and make its first scrapes.
    QJsonArray result;
    QDeadlineTimer deadline(60000);
    while (result.isEmpty() && !deadline.hasExpired() && prometheus.Running()) {
        const THttpReply r =
            HttpGet(port, "/api/v1/query?query=ondrix_cell_po2_atm", "Connection: close\r\n", "GET", 5000);
        if (r.Status == 200)
            result = r.Json()[QStringLiteral("data")][QStringLiteral("result")].toArray();
        if (result.isEmpty())
            QThread::msleep(250);
    }
    ASSERT_FALSE(result.isEmpty()) << "prometheus running: " << prometheus.Running() << "\n"
                                   << prometheus.Output().toStdString();
    const QJsonObject series = result[0].toObject();
    EXPECT_EQ(series[QStringLiteral("metric")][QStringLiteral("experiment")].toString(), status.Experiment);
    EXPECT_EQ(series[QStringLiteral("metric")][QStringLiteral("job")].toString(), QStringLiteral("ondrix"));
    EXPECT_DOUBLE_EQ(series[QStringLiteral("value")].toArray()[1].toString().toDouble(), 1.5e-7);
}

} // namespace
