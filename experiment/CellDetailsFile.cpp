#include "experiment/CellDetailsFile.h"

#include "experiment/DetailsIni.h"

#include <QDir>

namespace {
const char* const kZevo = "ZEVO";
const char* const kCell = "Cell";
const char* const kRelativeChange = "RelativeChange";
const char* const kDataPoint = "Datapoint integration";
const char* const kFastMode = "FastMode";
const char* const kDuration = "Duration seconds";
const char* const kCurrentFloor = "Current floor microamperes";
} // namespace

std::optional<TCellDetails> TCellDetailsFile::Read(const QString& path, QString& refusal) {
    TDetailsIni ini;
    ini.Load(path);
    refusal = ini.Refusal({kZevo, kCell, kRelativeChange, kDataPoint, kFastMode});
    if (!refusal.isEmpty())
        refusal = QStringLiteral("'%1' is not a cell details file: %2. Nothing was loaded.")
                      .arg(QDir::toNativeSeparators(path), refusal);
    if (ini.Missing() || !refusal.isEmpty())
        return std::nullopt;
    const TCellDetails d;
    TCellDetails c;
    c.SensorID = ini.Text(kZevo, "Serial", d.SensorID);
    c.SensorAx = ini.Float(kZevo, "Ax", d.SensorAx);
    c.SensorBx = ini.Float(kZevo, "Bx", d.SensorBx);
    c.Vhpws = ini.Float(kCell, "Vhpws", d.Vhpws);
    c.Vhp = ini.Float(kCell, "Vhp", d.Vhp);
    c.Vgp = ini.Float(kCell, "Vgp", d.Vgp);
    c.Tl = ini.Float(kCell, "Tl", d.Tl);
    c.PsO2 = ini.Float(kCell, "PsO2", d.PsO2);
    c.FGpO2 = ini.Float(kCell, "FGpO2", d.FGpO2);
    c.FGfl = ini.Float(kCell, "FGfl", d.FGfl);
    c.CTO = ini.Float(kCell, "CTO", d.CTO);
    c.RCDuration = ini.Float(kRelativeChange, kDuration, d.RCDuration);
    c.RCThreshold = ini.Float(kRelativeChange, "Threshold percentage", d.RCThreshold);
    c.RCAppliesToCurrent = ini.Boolean(kRelativeChange, "Applies to Current", d.RCAppliesToCurrent);
    c.CurrentFloorMicroA = ini.Float(kRelativeChange, kCurrentFloor, d.CurrentFloorMicroA);
    c.DataPointLength = ini.Float(kDataPoint, kDuration, d.DataPointLength);
    c.FastMode = ini.Boolean(kFastMode, "Enabled", d.FastMode);
    c.FastModeCount = ini.Integer(kFastMode, "Count", d.FastModeCount);
    return c;
}

bool TCellDetailsFile::Write(const QString& path, const TCellDetails& c, QString* error) {
    TDetailsIni ini;
    ini.Load(path); // a missing file starts empty
    ini.SetText(kZevo, "Serial", c.SensorID);
    ini.SetFloat(kZevo, "Ax", c.SensorAx);
    ini.SetFloat(kZevo, "Bx", c.SensorBx);
    ini.SetFloat(kCell, "Vhpws", c.Vhpws);
    ini.SetFloat(kCell, "Vhp", c.Vhp);
    ini.SetFloat(kCell, "Vgp", c.Vgp);
    ini.SetFloat(kCell, "Tl", c.Tl);
    ini.SetFloat(kCell, "PsO2", c.PsO2);
    ini.SetFloat(kCell, "FGpO2", c.FGpO2);
    ini.SetFloat(kCell, "FGfl", c.FGfl);
    ini.SetFloat(kCell, "CTO", c.CTO);
    ini.SetFloat(kRelativeChange, kDuration, c.RCDuration);
    ini.SetFloat(kRelativeChange, "Threshold percentage", c.RCThreshold);
    ini.SetBoolean(kRelativeChange, "Applies to Current", c.RCAppliesToCurrent);
    ini.SetFloat(kRelativeChange, kCurrentFloor, c.CurrentFloorMicroA);
    ini.SetFloat(kDataPoint, kDuration, c.DataPointLength);
    ini.SetBoolean(kFastMode, "Enabled", c.FastMode);
    ini.SetInteger(kFastMode, "Count", c.FastModeCount);
    return ini.Save(path, error);
}
