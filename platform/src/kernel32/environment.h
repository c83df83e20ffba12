// The process environment as the layer sees it, shared by the environment calls and the layer's
// own settings (test overrides, the console user).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace winlayer {

// The value (UTF-8) of a variable whose name equals `name` without regard to case; SystemRoot
// and windir have their Windows values when not set. Null when not set.
std::optional<std::string> GetEnvironmentUtf8(std::string_view name);
// Sets the variable, keeping the spelling of an existing one; a null value removes it. False
// for an empty name or one containing '='.
bool SetEnvironmentUtf8(std::string_view name, const std::string* value);

}  // namespace winlayer
