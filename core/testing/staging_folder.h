// For tests: the question behind RemoveStagingFolderAfterFailure (core/staging_folder.h).
#pragma once

// Whether the staging folder holds the only complete copy of the client: a swap is recorded as
// under way, or the installation folder is gone and the staging folder has its local manifest.
bool StagingFolderHoldsOnlyCopy();
