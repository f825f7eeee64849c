#pragma once
// One event of the event log: when it happened, which unit tells of it and what. The event log
// writes it as one line of its file and keeps it for the run; the web monitor serialises it as it
// is, without reading a line back.
#include <cstdint>
#include <string>

struct TEventRecord {
    // The local wall-clock time, ms since 1970-01-01 00:00 local time (what the line's stamp
    // shows), and the local clock's offset from UTC at that moment (s, local minus UTC): together
    // they give the instant, also in the hour that repeats when daylight saving ends.
    std::int64_t LocalMs = 0;
    std::int32_t UtcOffsetS = 0;
    std::string Source; // UTF-8, one line: no control characters
    std::string Text;   // UTF-8, one line: no control characters

    // The instant, ms since 1970-01-01 UTC.
    std::int64_t UnixMs() const { return LocalMs - std::int64_t(UtcOffsetS) * 1000; }
    // "yyyy-MM-dd HH:mm:ss.zzz" of LocalMs: kStampLength characters, no terminating zero.
    void WriteStamp(char* out) const;
    // The file's line without its line feed: "yyyy-MM-dd HH:mm:ss.zzz<TAB>source<TAB>text".
    void AppendLine(std::string& out) const;
    std::string Line() const;

    static constexpr std::size_t kStampLength = 23;
};
