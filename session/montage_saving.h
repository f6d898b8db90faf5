// What the session's picture saves and project saves share: the montage's pixels as the writers
// take them, and the progress a saving run tells.
#pragma once

#include "base/pixel_types.h"
#include "engine/picture_surface.h"
#include "output/write_progress.h"
#include "session/session_observer.h"

namespace orv {

// The picture's own pixels (not the padding that rounds its rows up), rows top first.
BgrView viewOf(const MemorySurface& picture);

// A saving run by the session tells its observer how far it is, lets window events run and stops
// at the next band when the observer asks.
WriteProgress savingProgress(SessionObserver& observer);

} // namespace orv
