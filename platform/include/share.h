// <share.h> of the Microsoft runtime: the sharing flags of _fsopen.
#pragma once
#include "msvcrt.h"

#define _SH_DENYRW 0x10  // exclusive
#define _SH_DENYWR 0x20  // others may read
#define _SH_DENYRD 0x30  // others may write
#define _SH_DENYNO 0x40  // others may read and write
