#include "recording/SampleDetails.h"

TSampleValues CalculateSampleValues(const TSampleDetails& s, double vhpws) {
    TSampleValues r;
    r.Vs = s.d > 0 ? s.m0 / (s.d * 1000) : 0;
    r.n0 = s.M0 > 0 ? s.m0 / s.M0 : 0;
    r.nO0 = r.n0 * s.b0;
    r.mO0 = r.nO0 * kOxygenMolarMass;
    r.mM = s.m0 - r.mO0;
    r.Vhp = vhpws - r.Vs;
    return r;
}
