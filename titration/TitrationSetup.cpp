#include "titration/TitrationSetup.h"

#include "recording/DataFileReader.h"

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

TTitrationSetup TTitrationSetup::FromFile(const TDataFileReader& file) {
    TTitrationSetup s;
    s.bs = file.VariableValue(QStringLiteral("bs"), s.bs);
    s.b0 = file.VariableValue(QStringLiteral("b0"), s.b0);
    s.M0 = file.VariableValue(QStringLiteral("M0"), s.M0);
    s.m0 = file.VariableValue(QStringLiteral("m0"), s.m0);
    s.Vhp = file.VariableValue(QStringLiteral("Vhp"), s.Vhp);
    s.Vgp = file.VariableValue(QStringLiteral("Vgp"), s.Vgp);
    s.Tl = file.VariableValue(QStringLiteral("Tl"), s.Tl);
    s.FGpO2 = file.VariableValue(QStringLiteral("FGpO2"), s.FGpO2);
    s.RCDuration = file.VariableValue(QStringLiteral("RCd"), s.RCDuration);
    return s;
}
