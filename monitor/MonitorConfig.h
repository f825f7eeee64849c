#pragma once
// Where the web monitor listens and the token it asks for. Off unless the operator turns it on
// (the "Configuration" page or `ondrix --monitor [ADDRESS:]PORT`); bound to the loopback address
// unless another address is given. Listening on anything but loopback requires the token.
#include <QString>
#include <cstdint>
#include <optional>

class TMonitorConfig {
public:
    QString Address = QStringLiteral("127.0.0.1");
    std::uint16_t Port = 8080;
    QString Token; // hex; asked for whenever the address is not a loopback address

    // Bounds that keep a stranger's or a broken client's requests from costing more than a little
    // memory and time, and keep one client from shutting out the others:
    //  - connections at once, in all and from one address (an IPv6 client's /64 counts as one
    //    address), and requests from one address still on their way in (half open). A newcomer
    //    beyond a limit takes the place of the oldest half-open request (from its own address, or
    //    at the total limit from the address with the most); with none to displace it is told 503;
    //  - event streams at once;
    //  - the request line and the whole head (request line and headers): longer ones are answered
    //    414 and 431 at once and closed; a connection reads no more than the head's bound;
    //  - how long the head may take to arrive, and the whole request;
    //  - how long an answer or an event stream may wait on a client that takes nothing of what is
    //    sent to it (the bytes waiting for it do not shrink) before it is dropped.
    int MaxConnections = 64;
    int MaxConnectionsPerAddress = 32;
    int MaxHalfOpenPerAddress = 8;
    int MaxStreams = 32;
    int MaxRequestLineBytes = 8 * 1024;
    int MaxRequestBytes = 16 * 1024;
    int HeadTimeoutMs = 2000;
    int RequestTimeoutMs = 10000;
    int StallTimeoutMs = 30000;

    // Whether a request must carry the token: always, unless the server listens on loopback only.
    bool NeedsToken() const { return !IsLoopback(Address); }

    // "8080", "127.0.0.1:8080", "0.0.0.0:8080", "[::1]:8080" or "localhost:8080"; nullopt (and
    // the reason in `error`) for anything else, a port of 0 or above 65535 included.
    static std::optional<TMonitorConfig> ParseListen(const QString& text, QString* error = nullptr);
    // Whether `address` is an address literal (or "localhost") the server can bind.
    static bool IsValidAddress(const QString& address);
    static bool IsLoopback(const QString& address);
    // A fresh token: 128 random bits from the system's generator, as 32 lower-case hex digits.
    static QString NewToken();
    // Compares a presented token with the expected one in time that depends only on the length of
    // the presented one, so the answer's timing tells nothing about how many characters matched.
    static bool TokenMatches(const QByteArray& presented, const QByteArray& expected);
};
