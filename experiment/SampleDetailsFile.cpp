#include "experiment/SampleDetailsFile.h"

#include "experiment/DetailsIni.h"

#include <QDir>

namespace {
const char* const kSample = "Sample";
const char* const kName = "Name____________";
const char* const kFormula = "Formula_________";
const char* const kbs = "bs__g_per_mol___";
const char* const kM = "M___g_per_mol___";
const char* const kb0 = "b0__mol_per_mol_";
const char* const kM0 = "M0__g_per_mol___";
const char* const kd = "d___g_per_cm3___";
const char* const km0 = "m0__g___________";
} // namespace

std::optional<TSampleDetails> TSampleDetailsFile::Read(const QString& path, QString& refusal) {
    TDetailsIni ini;
    ini.Load(path); // a missing file reads as one without keys
    refusal = ini.Refusal({kSample});
    if (!refusal.isEmpty()) {
        refusal = QStringLiteral("'%1' is not a sample details file: %2. Nothing was loaded.")
                      .arg(QDir::toNativeSeparators(path), refusal);
        return std::nullopt;
    }
    TSampleDetails s;
    s.Name = ini.Text(kSample, kName, QString());
    s.Formula = ini.Text(kSample, kFormula, QString());
    s.bs = ini.Float(kSample, kbs, 0);
    s.M = ini.Float(kSample, kM, 0);
    s.b0 = ini.Float(kSample, kb0, 0);
    s.M0 = ini.Float(kSample, kM0, 0);
    s.d = ini.Float(kSample, kd, 0);
    s.m0 = ini.Float(kSample, km0, 0);
    return s;
}

bool TSampleDetailsFile::Write(const QString& path, const TSampleDetails& s, QString* error) {
    TDetailsIni ini;
    ini.Load(path);
    ini.SetText(kSample, kName, s.Name);
    ini.SetText(kSample, kFormula, s.Formula);
    ini.SetFloat(kSample, kbs, s.bs);
    ini.SetFloat(kSample, kM, s.M);
    ini.SetFloat(kSample, kb0, s.b0);
    ini.SetFloat(kSample, kM0, s.M0);
    ini.SetFloat(kSample, kd, s.d);
    ini.SetFloat(kSample, km0, s.m0);
    return ini.Save(path, error);
}
