#pragma once
// The sample details file: one section "Sample" whose keys are 16 characters, padded with
// underscores, in the "Sample" folder.
#include "recording/SampleDetails.h"

#include <QString>

class TSampleDetailsFile {
public:
    // A missing or unreadable file, and every missing key, gives empty texts and zeros.
    static TSampleDetails Read(const QString& path);
    // Writes the eight keys; other keys and sections already in the file stay. False on failure, with the
    // system's reason in `error` when given.
    static bool Write(const QString& path, const TSampleDetails& sample, QString* error = nullptr);
};
