// The Windows-API layer: the subset of the Win32 API that the installer calls, implemented on
// Linux. Include this header as a Windows program would; the area headers below are not meant to be
// included on their own.
#pragma once

#include "windef.h"
#include "winerror.h"
#include "errhandlingapi.h"
#include "handleapi.h"
#include "fileapi.h"
#include "timezoneapi.h"
#include "synchapi.h"
#include "processenv.h"
#include "processthreadsapi.h"
#include "sysinfoapi.h"
#include "libloaderapi.h"
#include "securitybaseapi.h"
#include "winbase.h"
#include "winnls.h"
#include "winuser.h"
#include "wingdi.h"
#include "winreg.h"
#include "msvcrt.h"
