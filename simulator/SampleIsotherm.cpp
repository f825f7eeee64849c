#include "simulator/SampleIsotherm.h"

#include "simulator/ScpiParser.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

TSampleIsotherm TSampleIsotherm::Default() {
    const double logs[] = {0, -1, -2, -4, -6, -8, -10, -12, -14, -16, -18, -20};
    const double deltas[3][12] = {
        {0.008, 0.012, 0.020, 0.045, 0.075, 0.105, 0.135, 0.165, 0.195, 0.230, 0.265, 0.300},
        {0.015, 0.022, 0.032, 0.060, 0.092, 0.124, 0.156, 0.188, 0.220, 0.255, 0.290, 0.320},
        {0.025, 0.034, 0.046, 0.078, 0.112, 0.146, 0.180, 0.212, 0.244, 0.278, 0.310, 0.340},
    };
    std::vector<TRow> rows;
    for (int t = 0; t < 3; ++t)
        for (int i = 0; i < 12; ++i)
            rows.push_back({700.0 + 100 * t, logs[i], deltas[t][i]});
    TSampleIsotherm out;
    std::string error;
    FromRows(rows, out, error);
    return out;
}

bool TSampleIsotherm::FromRows(std::vector<TRow> rows, TSampleIsotherm& out, std::string& error) {
    if (rows.empty()) {
        error = "the isotherm table has no rows";
        return false;
    }
    for (const TRow& r : rows)
        if (!std::isfinite(r.celsius) || !std::isfinite(r.log10pO2) || !std::isfinite(r.delta)) {
            error = "the isotherm table holds a value that is not a finite number";
            return false;
        }
    std::sort(rows.begin(), rows.end(), [](const TRow& a, const TRow& b) {
        return a.celsius != b.celsius ? a.celsius < b.celsius : a.log10pO2 < b.log10pO2;
    });
    TSampleIsotherm result;
    for (const TRow& r : rows) {
        if (result.fCurves.empty() || result.fCurves.back().celsius != r.celsius)
            result.fCurves.push_back({r.celsius, {}, {}});
        TCurve& c = result.fCurves.back();
        if (!c.log10pO2.empty() && c.log10pO2.back() == r.log10pO2) {
            error = "the isotherm table gives T_degC " + std::to_string(r.celsius) + ", log10_pO2 " +
                    std::to_string(r.log10pO2) + " twice";
            return false;
        }
        c.log10pO2.push_back(r.log10pO2);
        c.delta.push_back(r.delta);
    }
    out = std::move(result);
    return true;
}

bool TSampleIsotherm::Parse(const std::string& text, TSampleIsotherm& out, std::string& error) {
    std::istringstream in(text);
    std::string line;
    std::vector<TRow> rows;
    int number = 0;
    bool header = false;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) // a byte-order mark
            line.erase(0, 3);
        line.erase(std::remove(line.begin(), line.end(), ' '), line.end());
        if (line.empty())
            continue;
        if (!header) {
            if (line != "T_degC,log10_pO2,delta") {
                error = "line " + std::to_string(number) + ": expected the header T_degC,log10_pO2,delta";
                return false;
            }
            header = true;
            continue;
        }
        std::vector<std::string> fields;
        std::size_t from = 0;
        for (std::size_t comma; (comma = line.find(',', from)) != std::string::npos; from = comma + 1)
            fields.push_back(line.substr(from, comma - from));
        fields.push_back(line.substr(from));
        double v[3] = {0, 0, 0};
        bool ok = fields.size() == 3;
        for (std::size_t i = 0; ok && i < 3; ++i)
            ok = TScpiParser::ParseDouble(fields[i], v[i]);
        if (!ok) {
            error = "line " + std::to_string(number) + ": expected three numbers T_degC,log10_pO2,delta";
            return false;
        }
        rows.push_back({v[0], v[1], v[2]});
    }
    if (!header) {
        error = "expected the header T_degC,log10_pO2,delta";
        return false;
    }
    return FromRows(std::move(rows), out, error);
}

bool TSampleIsotherm::Load(const std::string& path, TSampleIsotherm& out, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the isotherm table " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (!Parse(text.str(), out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

double TSampleIsotherm::TCurve::At(double logp) const {
    if (logp <= log10pO2.front())
        return delta.front();
    if (logp >= log10pO2.back())
        return delta.back();
    const std::size_t i =
        std::size_t(std::upper_bound(log10pO2.begin(), log10pO2.end(), logp) - log10pO2.begin());
    const double f = (logp - log10pO2[i - 1]) / (log10pO2[i] - log10pO2[i - 1]);
    return delta[i - 1] + f * (delta[i] - delta[i - 1]);
}

double TSampleIsotherm::Delta(double log10pO2, double celsius) const {
    if (fCurves.empty())
        return 0;
    if (celsius <= fCurves.front().celsius)
        return fCurves.front().At(log10pO2);
    if (celsius >= fCurves.back().celsius)
        return fCurves.back().At(log10pO2);
    std::size_t i = 1;
    while (fCurves[i].celsius < celsius)
        ++i;
    const TCurve& lo = fCurves[i - 1];
    const TCurve& hi = fCurves[i];
    const double f = (celsius - lo.celsius) / (hi.celsius - lo.celsius);
    return lo.At(log10pO2) + f * (hi.At(log10pO2) - lo.At(log10pO2));
}
