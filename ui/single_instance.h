// One installer at a time: two would build in the same staging folder and replace the same
// installation folder. The first start holds a named mutex for as long as it runs; a later
// start finds it, brings the running installer's window to the front and ends.
#pragma once

// True when no other installer runs (this one then holds the mutex until it ends). Otherwise the
// running installer's window, when it has one yet, comes to the front, and the answer is false.
bool ClaimSingleInstance();
