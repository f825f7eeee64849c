#include "simulator/ScpiInstrument.h"

#include <cctype>

namespace {
constexpr size_t kErrorQueueSize = 10;
}

TScpiInstrument::TScpiInstrument() {
    Add("*IDN", nullptr, [this](TCall& c) { c.reply = Identity(); });
    Add("*RST", [this](TCall& c) {
        Reset();
        c.busyS += 0.05;
    });
    Add("*CLS", [this](TCall&) { fErrors.clear(); });
    Add(
        "*OPC", [](TCall&) {}, [](TCall& c) { c.reply = "1"; });
    Add("*WAI", [](TCall&) {});
    Add("*ESR", nullptr, [](TCall& c) { c.reply = "0"; });
    Add("*STB", nullptr, [](TCall& c) { c.reply = "0"; });
    Add(":SYSTem:ERRor[:NEXT]", nullptr, [this](TCall& c) {
        if (fErrors.empty()) {
            c.reply = "0,\"No error\"";
            return;
        }
        c.reply = std::to_string(fErrors.front().first) + ",\"" + fErrors.front().second + "\"";
        fErrors.pop_front();
    });
}

void TScpiInstrument::Add(const std::string& pattern, THandler set, THandler query) {
    TEntry entry;
    entry.set = std::move(set);
    entry.query = std::move(query);
    if (!pattern.empty() && pattern[0] == '*') {
        entry.nodes.push_back({pattern, pattern, false});
        fEntries.push_back(std::move(entry));
        return;
    }
    // Walk "[:SENSe]:VOLTage[:DC]:NPLCycles" (a leading ':' or "[:" is optional in the pattern).
    size_t i = 0;
    while (i < pattern.size()) {
        bool optional = false;
        if (pattern[i] == '[') {
            optional = true;
            ++i;
        }
        if (i < pattern.size() && pattern[i] == ':')
            ++i;
        std::string word;
        while (i < pattern.size() && pattern[i] != ':' && pattern[i] != '[' && pattern[i] != ']')
            word += pattern[i++];
        if (optional && i < pattern.size() && pattern[i] == ']')
            ++i;
        TNode node;
        node.optional = optional;
        node.longForm = TScpiParser::Upper(word);
        for (char c : word)
            if (std::isupper(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)))
                node.shortForm += c;
        entry.nodes.push_back(node);
    }
    fEntries.push_back(std::move(entry));
}

bool TScpiInstrument::Match(const std::vector<TNode>& nodes, size_t ni, const std::vector<std::string>& path,
                            size_t pi) {
    if (ni == nodes.size())
        return pi == path.size();
    const TNode& node = nodes[ni];
    if (pi < path.size() && (path[pi] == node.shortForm || path[pi] == node.longForm) &&
        Match(nodes, ni + 1, path, pi + 1))
        return true;
    return node.optional && Match(nodes, ni + 1, path, pi);
}

const TScpiInstrument::TEntry* TScpiInstrument::Find(const TScpiCommand& cmd) const {
    for (const TEntry& e : fEntries) {
        const bool common = !e.nodes.empty() && !e.nodes[0].longForm.empty() && e.nodes[0].longForm[0] == '*';
        if (common != cmd.common)
            continue;
        if (Match(e.nodes, 0, cmd.path, 0))
            return &e;
    }
    return nullptr;
}

void TScpiInstrument::PushError(int code, const std::string& text) {
    if (fErrors.size() >= kErrorQueueSize) {
        fErrors.back() = {-350, "Queue overflow"};
        return;
    }
    fErrors.emplace_back(code, text);
}

bool TScpiInstrument::NeedParams(TCall& call, size_t count) {
    if (call.params.size() < count) {
        PushError(-109, "Missing parameter");
        return false;
    }
    if (call.params.size() > count) {
        PushError(-108, "Parameter not allowed");
        return false;
    }
    return true;
}

bool TScpiInstrument::NumberParam(TCall& call, size_t index, double min, double max, double def,
                                  double& value) {
    if (index >= call.params.size()) {
        PushError(-109, "Missing parameter");
        return false;
    }
    const std::string p = TScpiParser::Upper(call.params[index]);
    if (p == "MIN" || p == "MINIMUM") {
        value = min;
        return true;
    }
    if (p == "MAX" || p == "MAXIMUM") {
        value = max;
        return true;
    }
    if (p == "DEF" || p == "DEFAULT") {
        value = def;
        return true;
    }
    double v = 0;
    if (!TScpiParser::ParseDouble(p, v)) {
        PushError(-104, "Data type error");
        return false;
    }
    if (v < min || v > max) {
        PushError(-222, "Data out of range");
        return false;
    }
    value = v;
    return true;
}

bool TScpiInstrument::BoolParam(TCall& call, size_t index, bool& value) {
    if (index >= call.params.size()) {
        PushError(-109, "Missing parameter");
        return false;
    }
    if (!TScpiParser::ParseBool(call.params[index], value)) {
        PushError(-224, "Illegal parameter value");
        return false;
    }
    return true;
}

TScpiResult TScpiInstrument::Execute(const std::string& message) {
    TScpiResult result;
    std::vector<TScpiCommand> commands;
    std::string error;
    if (!TScpiParser::Split(message, commands, error)) {
        PushError(-102, "Syntax error");
        result.busyS = fCommandCostS;
        return result;
    }
    for (const TScpiCommand& cmd : commands) {
        result.busyS += fCommandCostS;
        const TEntry* entry = Find(cmd);
        const THandler* handler = entry ? (cmd.query ? &entry->query : &entry->set) : nullptr;
        if (!handler || !*handler) {
            PushError(-113, "Undefined header");
            continue;
        }
        TCall call{cmd, TScpiParser::SplitParams(cmd.params), {}, 0};
        (*handler)(call);
        result.busyS += call.busyS;
        if (cmd.query && !call.reply.empty()) {
            if (result.hasReply)
                result.reply += ';';
            result.reply += call.reply;
            result.hasReply = true;
        }
    }
    return result;
}
