#pragma once
// The window's side of the data-file save: write the experiment's record into the next numbered
// file of the day, and tell the operator when it failed.
#include "control/TRunState.h"
#include "recording/ExperimentFile.h"

#include <functional>

class TDataGrid;
class TExperimentDataPage;

// How a failed save is told besides the event log: a message box for the operator at the window,
// or nothing (the caller reports it, e.g. at close, where nothing may wait for the operator).
enum class TSaveNotice { MessageBox, None };

// The whole save: the run's LastSaveTime becomes now (before anything can fail, so a failed autosave is
// retried only after another 30 minutes), the file goes into the day folder under "Userdata" of
// the program folder, and its SaveFileNumber moves on after a written file. A day folder that can't be
// made puts the failure notice into the caption (setCaption); other failures show a message box
// when `notice` asks for one. The event log says 'wrote' only for a file the disk took whole.
TSaveResult SaveExperiment(TRunState& run, const TExperimentFileRecord& record,
                           const std::function<void(const QString&)>& setCaption,
                           TSaveNotice notice = TSaveNotice::MessageBox);
