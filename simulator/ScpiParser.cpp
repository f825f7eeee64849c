#include "simulator/ScpiParser.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsHeaderChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == ':' || c == '*' || c == '?' || c == '_';
}

// Splits at `separator` where it is outside quotes and parentheses.
std::vector<std::string> SplitOutside(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string current;
    char quote = 0;
    int depth = 0;
    for (char c : text) {
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth > 0)
                --depth;
        } else if (c == separator && depth == 0) {
            parts.push_back(current);
            current.clear();
            continue;
        }
        current += c;
    }
    parts.push_back(current);
    return parts;
}

} // namespace

std::string TScpiParser::Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string TScpiParser::Trim(const std::string& text) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32)
        --e;
    return text.substr(b, e - b);
}

bool TScpiParser::Split(const std::string& message, std::vector<TScpiCommand>& out, std::string& error) {
    out.clear();
    std::vector<std::string> context; // the level that a relative header continues from
    for (const std::string& raw : SplitOutside(message, ';')) {
        const std::string unit = Trim(raw);
        if (unit.empty()) {
            error = "empty command";
            return false;
        }
        size_t h = 0;
        while (h < unit.size() && !IsBlank(unit[h]))
            ++h;
        std::string header = unit.substr(0, h);
        for (char c : header) {
            if (!IsHeaderChar(c)) {
                error = "invalid character in header";
                return false;
            }
        }
        TScpiCommand cmd;
        cmd.text = unit;
        cmd.params = Trim(unit.substr(h));
        if (!header.empty() && header.back() == '?') {
            cmd.query = true;
            header.pop_back();
        }
        if (header.find('?') != std::string::npos) {
            error = "misplaced '?'";
            return false;
        }
        if (!header.empty() && header[0] == '*') {
            if (header.size() < 2 || header.find(':') != std::string::npos) {
                error = "malformed common command";
                return false;
            }
            cmd.common = true;
            cmd.path = {Upper(header)};
            out.push_back(cmd);
            continue;
        }
        const bool absolute = !header.empty() && header[0] == ':';
        std::vector<std::string> path = absolute ? std::vector<std::string>{} : context;
        const std::string body = absolute ? header.substr(1) : header;
        if (body.empty()) {
            error = "empty header";
            return false;
        }
        size_t start = 0;
        while (true) {
            const size_t colon = body.find(':', start);
            const std::string node =
                body.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            if (node.empty()) {
                error = "empty header node";
                return false;
            }
            path.push_back(Upper(node));
            if (colon == std::string::npos)
                break;
            start = colon + 1;
        }
        cmd.path = path;
        context.assign(path.begin(), path.end() - 1);
        out.push_back(cmd);
    }
    return true;
}

std::vector<std::string> TScpiParser::SplitParams(const std::string& params) {
    std::vector<std::string> result;
    if (Trim(params).empty())
        return result;
    for (const std::string& p : SplitOutside(params, ','))
        result.push_back(Trim(p));
    return result;
}

bool TScpiParser::ParseDouble(const std::string& text, double& value) {
    const std::string t = Trim(text);
    if (t.empty())
        return false;
    const char* first = t.data();
    const char* last = t.data() + t.size();
    bool negative = false;
    if (*first == '+' || *first == '-') {
        negative = *first == '-';
        ++first;
        if (first == last || *first == '+' || *first == '-')
            return false;
    }
    double v = 0;
    const auto [ptr, ec] = std::from_chars(first, last, v, std::chars_format::general);
    if (ec != std::errc() || ptr != last || !std::isfinite(v))
        return false;
    value = negative ? -v : v;
    return true;
}

bool TScpiParser::ParseBool(const std::string& text, bool& value) {
    const std::string t = Upper(Trim(text));
    if (t == "ON") {
        value = true;
        return true;
    }
    if (t == "OFF") {
        value = false;
        return true;
    }
    double v = 0;
    if (!ParseDouble(t, v))
        return false;
    value = std::lround(v) != 0;
    return true;
}

std::string TScpiParser::Unquote(const std::string& text) {
    const std::string t = Trim(text);
    if (t.size() >= 2 && (t.front() == '"' || t.front() == '\'') && t.back() == t.front())
        return t.substr(1, t.size() - 2);
    return t;
}

bool TScpiParser::ParseChannelList(const std::string& text, std::vector<int>& channels) {
    channels.clear();
    std::string t = Trim(text);
    if (t.size() < 3 || t.compare(0, 2, "(@") != 0 || t.back() != ')')
        return false;
    t = t.substr(2, t.size() - 3);
    if (Trim(t).empty())
        return true;
    auto parseInt = [](const std::string& s, int& out) {
        const std::string v = Trim(s);
        if (v.empty())
            return false;
        const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), out);
        return ec == std::errc() && ptr == v.data() + v.size();
    };
    for (const std::string& item : SplitOutside(t, ',')) {
        const size_t colon = item.find(':');
        int a = 0;
        int b = 0;
        if (colon == std::string::npos) {
            if (!parseInt(item, a))
                return false;
            channels.push_back(a);
        } else {
            if (!parseInt(item.substr(0, colon), a) || !parseInt(item.substr(colon + 1), b) || b < a)
                return false;
            for (int c = a; c <= b; ++c)
                channels.push_back(c);
        }
    }
    return true;
}

std::string TScpiParser::FormatScientific(double value, int decimals) {
    char buffer[64];
    const auto [ptr, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, decimals);
    std::string text(buffer, ec == std::errc() ? ptr : buffer);
    for (char& c : text)
        if (c == 'e')
            c = 'E';
    if (text.empty() || text[0] != '-')
        text.insert(text.begin(), '+');
    return text;
}
