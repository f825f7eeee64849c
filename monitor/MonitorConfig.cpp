#include "monitor/MonitorConfig.h"

#include <QHostAddress>
#include <QRandomGenerator>

namespace {
QHostAddress HostOf(const QString& address) {
    if (address.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return QHostAddress(QHostAddress::LocalHost);
    return QHostAddress(address);
}
} // namespace

bool TMonitorConfig::IsValidAddress(const QString& address) {
    return !HostOf(address.trimmed()).isNull();
}

bool TMonitorConfig::IsLoopback(const QString& address) {
    const QHostAddress host = HostOf(address.trimmed());
    return !host.isNull() && host.isLoopback();
}

std::optional<TMonitorConfig> TMonitorConfig::ParseListen(const QString& text, QString* error) {
    const auto fail = [error](const QString& why) -> std::optional<TMonitorConfig> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QString t = text.trimmed();
    TMonitorConfig c;
    QString portText = t;
    const qsizetype colon = t.lastIndexOf(u':');
    if (t.startsWith(u'[')) {
        const qsizetype close = t.indexOf(u']');
        if (close < 0 || close + 1 >= t.size() || t[close + 1] != u':')
            return fail(QStringLiteral("'%1' is no [ADDRESS]:PORT").arg(t));
        c.Address = t.mid(1, close - 1);
        portText = t.mid(close + 2);
    } else if (colon >= 0) {
        if (t.indexOf(u':') != colon)
            return fail(QStringLiteral("write an IPv6 address in brackets: [%1]:PORT").arg(t));
        c.Address = t.left(colon);
        portText = t.mid(colon + 1);
    }
    if (!IsValidAddress(c.Address))
        return fail(QStringLiteral("'%1' is no IP address").arg(c.Address));
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return fail(QStringLiteral("'%1' is no port number (1 to 65535)").arg(portText));
    c.Port = std::uint16_t(port);
    return c;
}

QString TMonitorConfig::NewToken() {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    QByteArray bytes(reinterpret_cast<const char*>(words), sizeof words);
    return QString::fromLatin1(bytes.toHex());
}

bool TMonitorConfig::TokenMatches(const QByteArray& presented, const QByteArray& expected) {
    if (expected.isEmpty())
        return false;
    // Every presented byte is compared, against the expected text repeated, and the lengths take
    // part in the result without an early return.
    unsigned difference = unsigned(presented.size() ^ expected.size());
    for (qsizetype i = 0; i < presented.size(); ++i)
        difference |= unsigned(std::uint8_t(presented[i]) ^ std::uint8_t(expected[i % expected.size()]));
    return difference == 0;
}
