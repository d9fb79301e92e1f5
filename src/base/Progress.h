#pragma once
// The progress values that a worker (install or uninstall) publishes and a wizard polls on its
// timer. Written and read only under ProgressLock.
#include "base/Sync.h"
#include "base/Text.h"

#include <cstdint>

namespace tarvo {

extern MutexLock ProgressLock;
extern WString ActionCaption;  // the caption of the current step
extern int32_t ProgressDone;
extern int32_t ProgressTotal;
extern bool ProgressChanged;

// Publishes a new caption (under the lock).
void PublishCaption(const WString& caption);
// Publishes done/total (under the lock).
void PublishProgress(int32_t done, int32_t total);
// Back to the start values; for a new run in the same process (tests).
void ResetProgress();

}  // namespace tarvo
