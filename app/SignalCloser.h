#pragma once
// Termination signals (SIGTERM, SIGINT, SIGHUP: a shutdown, Ctrl+C, a closed terminal) close the
// program the way the close button does, without the close question: the pump goes to 0 A and the
// workers stop, then the rows are saved. The handler only writes a byte to a socket; the window's
// thread reads it in its event loop, which may be the nested loop of an open box, and starts the
// close there (TfrmOndrix::CloseWithoutQuestion rejects such a box first).
#include <QObject>
#include <functional>

class QSocketNotifier;

class TSignalCloser : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; `close` runs on this object's thread at the first signal.
    explicit TSignalCloser(std::function<void()> close, QObject* parent = nullptr);
    ~TSignalCloser() override;

private:
    std::function<void()> fClose;
    QSocketNotifier* fNotifier = nullptr;
};
