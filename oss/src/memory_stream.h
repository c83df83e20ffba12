// The stream a body is kept in when it stays in memory: readable, writable, binary.
#pragma once

#include <istream>
#include <memory>
#include <sstream>

namespace oss {

inline std::shared_ptr<std::iostream> NewMemoryStream() {
    return std::make_shared<std::stringstream>(std::ios::in | std::ios::out | std::ios::binary);
}

}  // namespace oss
