#pragma once

#include "core/imaging/ScreenSource.h"

typedef struct _XDisplay Display;

namespace platform {

// The pointer's image, hot spot and position from the XFixes extension,
// copied into `into` (its buffer reused). Another client's
// XFixesHideCursor is not visible through XFixes; a pointer hidden by a
// blank cursor reads as a transparent image.
bool ReadCursorX11(Display* display, imaging::CursorImage* into, QString* error);

}  // namespace platform
