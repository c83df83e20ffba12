// Codes and texts of the argument checks that stop a request before it is sent.
#pragma once

#include <string>

namespace oss {

inline constexpr int ModelErrorBucketName = 101001;
inline constexpr int ModelErrorObjectKey = 101002;
inline constexpr int ModelErrorRange = 101045;

// The text for a CheckArguments code; a code of the 101000 family without its own text gives
// the generic argument text, any other code "Model error, but undefined.".
std::string ModelErrorMessage(int code);

}  // namespace oss
