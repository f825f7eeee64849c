// Where the monitor listens and how it checks the token.
#include "monitor/MonitorConfig.h"

#include <QSet>
#include <gtest/gtest.h>

namespace {

struct TListenCase {
    const char* text;
    const char* address; // nullptr: refused
    int port;
    bool needsToken;
};

TEST(MonitorConfig, ListenOptionIsParsedOrRefused) {
    const TListenCase cases[] = {
        {"8080", "127.0.0.1", 8080, false},
        {"127.0.0.1:81", "127.0.0.1", 81, false},
        {"localhost:82", "localhost", 82, false},
        {"[::1]:83", "::1", 83, false},
        {"0.0.0.0:8080", "0.0.0.0", 8080, true},
        {"192.0.2.7:65535", "192.0.2.7", 65535, true},
        {"[::]:8080", "::", 8080, true},
        {"", nullptr, 0, false},
        {"0", nullptr, 0, false},
        {"65536", nullptr, 0, false},
        {"-1", nullptr, 0, false},
        {"8080x", nullptr, 0, false},
        {"example.org:80", nullptr, 0, false},
        {"1.2.3.4:", nullptr, 0, false},
        {"::1:80", nullptr, 0, false},
        {"[::1]80", nullptr, 0, false},
        {"999.1.1.1:80", nullptr, 0, false},
    };
    for (const TListenCase& c : cases) {
        SCOPED_TRACE(c.text);
        QString error;
        const auto parsed = TMonitorConfig::ParseListen(QString::fromLatin1(c.text), &error);
        if (!c.address) {
            EXPECT_FALSE(parsed);
            EXPECT_FALSE(error.isEmpty());
            continue;
        }
        ASSERT_TRUE(parsed) << error.toStdString();
        EXPECT_EQ(parsed->Address, QString::fromLatin1(c.address));
        EXPECT_EQ(parsed->Port, c.port);
        EXPECT_EQ(parsed->NeedsToken(), c.needsToken);
    }
}

TEST(MonitorConfig, TokensAreLongRandomHex) {
    QSet<QString> seen;
    for (int i = 0; i < 50; ++i) {
        const QString t = TMonitorConfig::NewToken();
        EXPECT_EQ(t.size(), 32); // 128 bits
        for (const QChar c : t)
            EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')) << t.toStdString();
        seen.insert(t);
    }
    EXPECT_EQ(seen.size(), 50);
}

TEST(MonitorConfig, TokenMustMatchExactly) {
    const QByteArray token = "0123456789abcdef0123456789abcdef";
    const struct {
        QByteArray presented;
        bool accepted;
    } cases[] = {
        {token, true},
        {"0123456789abcdef0123456789abcdee", false}, // last character
        {"1123456789abcdef0123456789abcdef", false}, // first character
        {token.left(31), false},
        {token + token, false}, // the token repeated
        {token + "0", false},
        {"", false},
        {token.toUpper(), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TMonitorConfig::TokenMatches(c.presented, token), c.accepted) << c.presented.toStdString();
    EXPECT_FALSE(TMonitorConfig::TokenMatches("", ""));
}

} // namespace
