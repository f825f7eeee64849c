#pragma once
// The web monitor's part of the "Configuration" page: its switch, address, port and token, kept in
// the settings file's [Monitor] section, and the server they start and stop. A server started from
// the command line (`ondrix --monitor`) is shown on the page too but is no setting.
#include <QObject>
#include <QString>

class TConfigurationPage;
class TMonitorConfig;
class TMonitorServer;

class TMonitorControl : public QObject {
    Q_OBJECT
public:
    TMonitorControl(TConfigurationPage& page, TMonitorServer& server, QObject* parent = nullptr);

    // The settings file to the page; starts the server when the file has it on.
    void Load();
    // The page to the settings file and the server (the switch, the address or the port changed).
    void ApplyPage();
    // A new token, saved at once (only the token); a running server asks for it from now on.
    void NewToken();
    // Listens as `config` says for this run; the token comes from the settings file, made and
    // saved there when one is needed and missing. False, with the reason, when it cannot.
    bool StartForThisRun(const TMonitorConfig& config, QString* error);

private:
    void ShowState(const QString& error = {});

    TConfigurationPage& fPage;
    TMonitorServer& fServer;
};
