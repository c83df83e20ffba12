// <io.h> of the Microsoft runtime: _access and its friends.
#pragma once
#include "msvcrt.h"
