#pragma once
// The cell details file: oxygen-sensor identity and calibration, gas volumes, temperatures, flush
// gas, the relative-change criterion, the data-point integration time and the multimeter's fast
// mode, as an INI file in the "Cell" folder.
//
//   [ZEVO]                   Serial, Ax, Bx
//   [Cell]                   Vhpws, Vhp, Vgp, Tl, PsO2, FGpO2, FGfl, CTO
//   [RelativeChange]         Duration seconds, Threshold percentage, Applies to Current,
//                            Current floor microamperes (files from before it read 0.05)
//   [Datapoint integration]  Duration seconds
//   [FastMode]               Enabled, Count
#include "recording/CellDetails.h"

#include <QString>
#include <optional>

class TCellDetailsFile {
public:
    // The details the file holds; a key it lacks, or whose value does not read, gives the reading
    // default of TCellDetails. Nothing when the file does not exist (`refusal` empty) or when it
    // cannot be read or is not a cell details file, not even one key of its sections in a text INI
    // file (`refusal` names the file and says what is wrong).
    static std::optional<TCellDetails> Read(const QString& path, QString& refusal);
    // Writes every key; other sections and keys already in the file stay. False on failure, with the
    // system's reason in `error` when given.
    static bool Write(const QString& path, const TCellDetails& cell, QString* error = nullptr);
};
