#pragma once
// One simulated serial port: a pseudo-terminal in raw mode with a stable symbolic link to its
// device. The simulator keeps a descriptor of the terminal side open itself, so a program that
// opens the port for each exchange and closes it again never makes the master side hang up.
//
// Like a real serial line, a reply that arrives while nobody has the port open is lost: the port
// watches who opens and closes the device (inotify), drops replies while it is closed, and
// discards unread bytes from before when somebody opens it again.
#include <string>

class TSimPort {
public:
    TSimPort(std::string linkPath, int baud);
    ~TSimPort();
    TSimPort(const TSimPort&) = delete;
    TSimPort& operator=(const TSimPort&) = delete;

    // Creates the pseudo-terminal and the link. A stale link from an earlier run is replaced; any
    // other file at the link's place is left alone and the call fails.
    bool Open(std::string& error);
    // Removes the link and closes the pseudo-terminal: a program holding it open sees a hang-up.
    void Close();
    bool IsOpen() const { return fMaster >= 0; }

    const std::string& LinkPath() const { return fLinkPath; }
    const std::string& DevicePath() const { return fDevicePath; }
    int MasterFd() const { return fMaster; }
    int NotifyFd() const { return fNotify; }

    // Reads pending open/close events of the device.
    void HandleNotify();
    // Whether somebody other than the simulator has the port open (always true when the opens
    // cannot be watched).
    bool HasReader() const { return fNotify < 0 || fOpeners > 0; }
    // How many descriptors others hold on the port (-1 when the opens cannot be watched).
    int Openers() const { return fNotify < 0 ? -1 : fOpeners; }
    // Everything the other side has written since the last call.
    std::string ReadAvailable();
    // Sends bytes to the other side; false when they were dropped (port closed or full).
    bool Write(const std::string& bytes);

private:
    std::string fLinkPath;
    int fBaud;
    std::string fDevicePath;
    int fMaster = -1;
    int fSlave = -1;
    int fNotify = -1;
    int fOpeners = 0;
};
