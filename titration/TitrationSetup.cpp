#include "titration/TitrationSetup.h"

TTitrationSetup TTitrationSetup::From(const TSampleDetails& sample, const TCellDetails& cell) {
    TTitrationSetup s;
    s.m0 = sample.m0;
    s.M0 = sample.M0;
    s.b0 = sample.b0;
    s.bs = sample.bs;
    s.Vhp = cell.Vhp;
    s.Vgp = cell.Vgp;
    s.Tl = cell.Tl;
    s.FGpO2 = cell.FGpO2;
    s.RCDuration = cell.RCDuration;
    return s;
}
