// <process.h> of the Microsoft runtime: _beginthreadex.
#pragma once
#include "msvcrt.h"
