#pragma once
// The window's side of the data-file save: gather what the "Experiment data" page and the data grid
// hold, write the file, and tell the operator when it failed.
#include "recording/ExperimentFile.h"

#include <functional>

class TDataGrid;
class TExperimentDataPage;

// The record of a save, from the page's boxes and notes and the grid.
TExperimentFileRecord ExperimentRecordOf(const TExperimentDataPage& page, const TDataGrid& grid);

// The whole save: LastSaveTime becomes now (before anything can fail, so a failed autosave is
// retried only after another 30 minutes), the file goes into the day folder under "Userdata" of
// the program folder, and SaveFileNumber moves on after a written file. A day folder that can't be
// made puts the failure notice into the caption (setCaption); other failures show a message box.
TSaveResult SaveExperiment(const TExperimentFileRecord& record,
                           const std::function<void(const QString&)>& setCaption);
