#pragma once
// The window's side of the data-file save: write the experiment's record into the next numbered
// file of the day, and tell the operator when it failed.
#include "recording/ExperimentFile.h"

#include <functional>

class TDataGrid;
class TExperimentDataPage;

// The whole save: LastSaveTime becomes now (before anything can fail, so a failed autosave is
// retried only after another 30 minutes), the file goes into the day folder under "Userdata" of
// the program folder, and SaveFileNumber moves on after a written file. A day folder that can't be
// made puts the failure notice into the caption (setCaption); other failures show a message box.
TSaveResult SaveExperiment(const TExperimentFileRecord& record,
                           const std::function<void(const QString&)>& setCaption);
