#pragma once
// Text side of the simulated instruments: splits a program message into its commands (with the
// compound-header rules), and reads and writes the parameters and numbers the instruments
// exchange. Numbers always use a point, whatever the process locale.
#include <string>
#include <vector>

// One command of a program message, its header resolved to a full path from the root.
struct TScpiCommand {
    std::vector<std::string> path; // header nodes in upper case, e.g. {"SENS", "VOLT", "DC", "NPLC"}
    bool common = false;           // "*IDN?", "*RST": path holds the single node "*IDN", "*RST"
    bool query = false;            // header ended with '?'
    std::string params;            // parameter text, blanks around it removed
    std::string text;              // the command as received (for diagnostics)
};

class TScpiParser {
public:
    // Splits a program message (terminator already removed) at ';' outside quotes and parentheses.
    // A command starting with ':' begins at the root; one without continues at the level of the
    // previous command's last node; common commands ("*...") leave that level alone. Returns false
    // and an error text for an empty command or a malformed header.
    static bool Split(const std::string& message, std::vector<TScpiCommand>& out, std::string& error);

    // Splits a parameter text at commas outside quotes and parentheses; blanks around each
    // parameter are removed. An empty text gives no parameters.
    static std::vector<std::string> SplitParams(const std::string& params);

    // A decimal number with optional sign, point and exponent; the whole text must be used.
    static bool ParseDouble(const std::string& text, double& value);
    // Boolean parameter: 1/0 (any number, non-zero = true), ON/OFF.
    static bool ParseBool(const std::string& text, bool& value);
    // A string parameter in single or double quotes (or bare), quotes removed.
    static std::string Unquote(const std::string& text);
    // A channel list "(@1)", "(@1,3)", "(@1:3)". Returns false when malformed.
    static bool ParseChannelList(const std::string& text, std::vector<int>& channels);

    // "+2.500123E-01": sign always shown, `decimals` digits after the point, two-digit exponent.
    static std::string FormatScientific(double value, int decimals);

    static std::string Upper(std::string text);
    static std::string Trim(const std::string& text);
};
