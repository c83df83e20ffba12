// The registry hive loader: the input is a hive file. A hive that loads is written out again,
// and what is written must load to the same text, or the next change would lose the hive.
#include "advapi32/registry_store.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using winlayer::Hive;
    const std::string text = fuzzsupport::Text(data, size);
    const std::optional<winlayer::RegistryKey> root = winlayer::ParseHive(Hive::CurrentUser, text);
    if (!root)
        return 0;
    const std::string written = winlayer::FormatHive(Hive::CurrentUser, *root);
    const std::optional<winlayer::RegistryKey> again =
        winlayer::ParseHive(Hive::CurrentUser, written);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(winlayer::FormatHive(Hive::CurrentUser, *again) == written);
    return 0;
}
