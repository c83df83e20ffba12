#include "gdi32/text_trace.h"

#include "gdi32/text_utf8.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>

namespace winlayer {
namespace {

struct Trace {
    std::mutex mutex;
    std::string path;  // the file open in fd
    int fd = -1;
};

Trace& TheTrace() {
    static auto* trace = new Trace();  // lives as long as the process
    return *trace;
}

}  // namespace

void TraceDrawnText(std::u16string_view text) {
    const char* file = std::getenv("WINLAYER_TEXT_TRACE");
    if (file == nullptr || *file == '\0')
        return;
    std::string line = Utf8(text);
    for (char& c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    line += '\n';
    Trace& trace = TheTrace();
    std::lock_guard lock(trace.mutex);
    if (trace.path != file) {
        if (trace.fd >= 0)
            close(trace.fd);
        trace.path = file;
        trace.fd = open(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    }
    // One write per line: a reader never sees half of one.
    if (trace.fd < 0 || write(trace.fd, line.data(), line.size()) < 0)
        return;
}

}  // namespace winlayer
