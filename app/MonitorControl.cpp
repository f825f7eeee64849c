#include "app/MonitorControl.h"

#include "app/ConfigurationPage.h"
#include "diagnostics/EventLog.h"
#include "experiment/InstrumentSettings.h"
#include "monitor/MonitorConfig.h"
#include "monitor/MonitorServer.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace {
TInstrumentSettings Settings() {
    return TInstrumentSettings(TInstrumentSettings::DefaultPath());
}

QString Listening(const TMonitorServer& server) {
    return QStringLiteral("listening on %1:%2").arg(server.Config().Address).arg(server.Port());
}
} // namespace

TMonitorControl::TMonitorControl(TConfigurationPage& page, TMonitorServer& server, QObject* parent)
    : QObject(parent), fPage(page), fServer(server) {
    connect(fPage.CheckBoxMonitor, &QCheckBox::toggled, this, &TMonitorControl::ApplyPage);
    connect(fPage.EditMonitorAddress, &QLineEdit::editingFinished, this, &TMonitorControl::ApplyPage);
    connect(fPage.SpinMonitorPort, &QSpinBox::editingFinished, this, &TMonitorControl::ApplyPage);
    connect(fPage.ButtonMonitorNewToken, &QPushButton::clicked, this, &TMonitorControl::NewToken);
}

void TMonitorControl::Load() {
    const TMonitorSettings m = Settings().Monitor();
    {
        const QSignalBlocker b1(fPage.CheckBoxMonitor), b2(fPage.EditMonitorAddress),
            b3(fPage.SpinMonitorPort);
        fPage.CheckBoxMonitor->setChecked(m.Enabled);
        fPage.EditMonitorAddress->setText(m.Address);
        fPage.SpinMonitorPort->setValue(m.Port);
        fPage.EditMonitorToken->setText(m.Token);
    }
    if (m.Enabled)
        ApplyPage();
    else
        ShowState();
}

void TMonitorControl::ApplyPage() {
    TMonitorSettings m;
    m.Enabled = fPage.CheckBoxMonitor->isChecked();
    m.Address = fPage.EditMonitorAddress->text().trimmed();
    m.Port = fPage.SpinMonitorPort->value();
    m.Token = fPage.EditMonitorToken->text();
    if (!TMonitorConfig::IsValidAddress(m.Address)) {
        fServer.Stop();
        ShowState(QStringLiteral("'%1' is no IP address").arg(m.Address));
        return;
    }
    // A browser on another computer must present a token: one is made the first time it is needed.
    if (m.Token.isEmpty() && !TMonitorConfig::IsLoopback(m.Address)) {
        m.Token = TMonitorConfig::NewToken();
        fPage.EditMonitorToken->setText(m.Token);
    }
    Settings().SetMonitor(m);
    if (!m.Enabled) {
        if (fServer.IsRunning()) {
            fServer.Stop();
            LogEvent(QStringLiteral("Monitor"), QStringLiteral("stopped"));
        }
        ShowState();
        return;
    }
    const TMonitorConfig& running = fServer.Config();
    if (fServer.IsRunning() && running.Address == m.Address && running.Port == m.Port &&
        running.Token == m.Token) {
        ShowState();
        return;
    }
    TMonitorConfig c;
    c.Address = m.Address;
    c.Port = std::uint16_t(m.Port);
    c.Token = m.Token;
    QString error;
    LogEvent(QStringLiteral("Monitor"), fServer.Start(c, &error) ? Listening(fServer) : error);
    ShowState(error);
}

bool TMonitorControl::StartForThisRun(const TMonitorConfig& config, QString* error) {
    TInstrumentSettings settings = Settings();
    TMonitorSettings m = settings.Monitor();
    TMonitorConfig c = config;
    if (c.Token.isEmpty())
        c.Token = m.Token;
    if (c.Token.isEmpty() && c.NeedsToken()) {
        c.Token = TMonitorConfig::NewToken();
        m.Token = c.Token;
        settings.SetMonitor(m); // the switch and address in the file stay as they were
    }
    QString why;
    const bool ok = fServer.Start(c, &why);
    {
        const QSignalBlocker b1(fPage.CheckBoxMonitor), b2(fPage.EditMonitorAddress),
            b3(fPage.SpinMonitorPort);
        fPage.CheckBoxMonitor->setChecked(ok);
        fPage.EditMonitorAddress->setText(c.Address);
        if (ok)
            fPage.SpinMonitorPort->setValue(fServer.Port());
        fPage.EditMonitorToken->setText(c.Token);
    }
    LogEvent(QStringLiteral("Monitor"), ok ? Listening(fServer) : why);
    ShowState(why);
    if (error)
        *error = why;
    return ok;
}

void TMonitorControl::NewToken() {
    // Only the token is saved: a server started from the command line stays a setting of this run.
    const QString token = TMonitorConfig::NewToken();
    fPage.EditMonitorToken->setText(token);
    TInstrumentSettings settings = Settings();
    TMonitorSettings m = settings.Monitor();
    m.Token = token;
    settings.SetMonitor(m);
    QString error;
    if (fServer.IsRunning()) {
        TMonitorConfig c = fServer.Config();
        c.Token = token;
        c.Port = fServer.Port();
        LogEvent(QStringLiteral("Monitor"), fServer.Start(c, &error) ? QStringLiteral("new token") : error);
    }
    ShowState(error);
}

void TMonitorControl::ShowState(const QString& error) {
    QLabel* label = fPage.LabelMonitorState;
    if (!error.isEmpty())
        label->setText(QStringLiteral("Not running: ") + error);
    else if (fServer.IsRunning())
        label->setText(QStringLiteral("Open ") + fServer.Url() +
                       (fServer.Config().NeedsToken()
                            ? QStringLiteral(" (the token is required from other computers)")
                            : QStringLiteral(" on this computer")));
    else
        label->setText(QStringLiteral("Off"));
}
