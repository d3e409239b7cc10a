// TarvovCard client header: the runtime types and functions, the enumerations,
// the class and interface identifiers and the interfaces.
#pragma once

#include "tarvovcard/platform.h"
#include "tarvovcard/automation_types.h"
