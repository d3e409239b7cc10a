// The runtime stand-in: everything a client of the component runtime uses.
#pragma once

#include "tarvovcard/platform/wtypes.h"
#include "tarvovcard/platform/unknwn.h"
#include "tarvovcard/platform/oleauto.h"
#include "tarvovcard/platform/winnls.h"
#include "tarvovcard/platform/shlwapi.h"
#include "tarvovcard/platform/comdef.h"
#include "tarvovcard/platform/objbase.h"
#include "tarvovcard/platform/atlbase.h"
#include "tarvovcard/platform/winreg.h"
