#pragma once
// Common ground of the two simulated instruments: a table of SCPI headers with their set and
// query handlers, the IEEE 488.2 common commands, the error queue and the instrument's faults.
// Execute() takes one program message (the line without its terminator) and gives back the reply
// text, if the message asked for one, and how long the instrument is busy with it.
#include "simulator/InstrumentFaults.h"
#include "simulator/ScpiParser.h"

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct TScpiResult {
    bool hasReply = false;
    std::string reply; // without terminator; replies to several queries are joined by ';'
    double busyS = 0;  // processing and measuring time
};

class TScpiInstrument {
public:
    TScpiInstrument();
    virtual ~TScpiInstrument() = default;
    TScpiInstrument(const TScpiInstrument&) = delete;
    TScpiInstrument& operator=(const TScpiInstrument&) = delete;

    TScpiResult Execute(const std::string& message);

    TInstrumentFaults& Faults() { return fFaults; }
    const TInstrumentFaults& Faults() const { return fFaults; }

    // The error queue, oldest first, as (code, text).
    const std::deque<std::pair<int, std::string>>& Errors() const { return fErrors; }
    void ClearErrors() { fErrors.clear(); }

    virtual std::string Identity() const = 0;
    // The instrument's *RST state.
    virtual void Reset() = 0;
    // The state after switching the mains on: the *RST settings and an empty error queue.
    virtual void PowerOn() {
        Reset();
        ClearErrors();
    }
    // Queues an error; the queue holds ten, the last one turning into "Queue overflow".
    void PushError(int code, const std::string& text);

protected:
    // One command being executed.
    struct TCall {
        const TScpiCommand& cmd;
        std::vector<std::string> params;
        std::string reply;
        double busyS = 0;
    };
    using THandler = std::function<void(TCall&)>;

    // Registers a header such as "[SENSe]:VOLTage[:DC]:NPLCycles" (upper case = short form,
    // brackets = optional node). A missing handler makes the command or the query undefined.
    void Add(const std::string& pattern, THandler set, THandler query = nullptr);

    // Parameter helpers; on failure they queue the matching error and return false.
    bool NeedParams(TCall& call, size_t count);
    bool NumberParam(TCall& call, size_t index, double min, double max, double def, double& value);
    bool BoolParam(TCall& call, size_t index, bool& value);

    static std::string FormatNumber(double value) { return TScpiParser::FormatScientific(value, 6); }

    double fCommandCostS = 0.0005; // parsing and settling of one command

private:
    struct TNode {
        std::string shortForm;
        std::string longForm;
        bool optional = false;
    };
    struct TEntry {
        std::vector<TNode> nodes;
        THandler set;
        THandler query;
    };
    static bool Match(const std::vector<TNode>& nodes, size_t ni, const std::vector<std::string>& path,
                      size_t pi);
    const TEntry* Find(const TScpiCommand& cmd) const;

    std::vector<TEntry> fEntries;
    std::deque<std::pair<int, std::string>> fErrors;
    TInstrumentFaults fFaults;
};
