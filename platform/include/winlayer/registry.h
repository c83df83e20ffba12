// Test interface of the registry store; product code does not include it.
#pragma once

namespace winlayer {

// Makes RegSetValueExA/W refuse, with ERROR_ACCESS_DENIED, every write of the value of this name
// (compared without regard to case), as a value protected by its key's security would be refused.
// Null or empty lets every value be written again. A whole hive can be made read-only instead by
// clearing the owner-write bit of its file.
void RefuseRegistryValueWrites(const char* valueName);

}  // namespace winlayer
