#pragma once
// A growable list of doubles that a curve reads its points from. Every change bumps Version(), so
// a curve that uses the vector knows it must recalculate before its next use.
#include <cstddef>
#include <cstdint>
#include <vector>

class TRtDoubleVector {
public:
    TRtDoubleVector() { Touch(); }

    void Clear() {
        fValues.clear();
        Touch();
    }
    void Add(double value) {
        fValues.push_back(value);
        Touch();
    }
    // Replaces the whole contents at once.
    void Assign(std::vector<double> values) {
        fValues = std::move(values);
        Touch();
    }

    int Count() const { return int(fValues.size()); }
    double operator[](int i) const { return fValues[std::size_t(i)]; }
    const std::vector<double>& Values() const { return fValues; }
    // Distinct for every state of every vector, so a curve can also tell two vectors apart.
    std::uint64_t Version() const { return fVersion; }

private:
    void Touch();
    std::vector<double> fValues;
    std::uint64_t fVersion = 0;
};
