// The Windows build links the C runtime msvcrt.dll, which lacks _dupenv_s (only the newer
// runtimes export it). This gives the program the documented call over getenv, reached the way
// the runtime's header declares it: through the import pointer __imp__dupenv_s.
#include <errno.h>
#include <stdlib.h>
#include <string.h>

namespace {

errno_t __cdecl DuplicateEnvironmentValue(char** buffer, size_t* size, const char* name) {
    if (buffer == nullptr || name == nullptr)
        return EINVAL;
    *buffer = nullptr;
    if (size != nullptr)
        *size = 0;
    const char* value = getenv(name);
    if (value == nullptr)
        return 0;
    const size_t length = strlen(value) + 1;
    char* copy = static_cast<char*>(malloc(length));
    if (copy == nullptr)
        return ENOMEM;
    memcpy(copy, value, length);
    *buffer = copy;
    if (size != nullptr)
        *size = length;
    return 0;
}

}  // namespace

extern "C" {
errno_t(__cdecl* __imp__dupenv_s)(char**, size_t*, const char*) = DuplicateEnvironmentValue;
}
