#pragma once
// The cell's leak constant alpha, learned from equilibrium points.
//
// The leak lets oxygen into the cell at J = alpha * (FGpO2^1/4 - pO2^1/4) mol O2/s (pO2 and FGpO2
// in atm, alpha in mol O2 / (s atm^1/4)). When the cell is in equilibrium nothing else changes, so
// the pump takes out exactly what leaks in: I / (4 F) = J. Each equilibrium point gives one pair
// (x = FGpO2^1/4 - pO2^1/4, y = I / 4F), and alpha is their least-squares line through the origin,
//   alpha = sum(x y) / sum(x^2),
// with standard error sqrt(sum((y - alpha x)^2) / (N - 1) / sum(x^2)).
class TLeakFit {
public:
    // One equilibrium point: the leak drive x (atm^1/4) and the oxygen flow y (mol O2/s).
    void Add(double drive, double flow);
    int Count() const { return fCount; }
    // At least one point with a drive other than 0.
    bool HasFit() const { return fSxx > 0; }
    // mol O2 / (s atm^1/4); 0 without a fit.
    double Alpha() const;
    // The standard error of Alpha(); NaN with fewer than two points.
    double StandardError() const;

private:
    int fCount = 0;
    double fSxx = 0, fSxy = 0, fSyy = 0;
};
