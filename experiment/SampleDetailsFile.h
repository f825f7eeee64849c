#pragma once
// The sample details file: one section "Sample" whose keys are 16 characters, padded with
// underscores, in the "Sample" folder.
#include "recording/SampleDetails.h"

#include <QString>
#include <optional>

class TSampleDetailsFile {
public:
    // The details the file holds; a missing file, and every missing key, gives empty texts and
    // zeros. Nothing when the file cannot be read or is not a sample details file, not even one key
    // of its section in a text INI file (`refusal` names the file and says what is wrong).
    static std::optional<TSampleDetails> Read(const QString& path, QString& refusal);
    // Writes the eight keys; other keys and sections already in the file stay. False on failure, with the
    // system's reason in `error` when given.
    static bool Write(const QString& path, const TSampleDetails& sample, QString* error = nullptr);
};
