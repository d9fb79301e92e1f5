#include "base/Progress.h"

namespace tarvo {

MutexLock ProgressLock;
WString ActionCaption;
int32_t ProgressDone = 0;
int32_t ProgressTotal = 0;
bool ProgressChanged = false;

void PublishCaption(const WString& caption) {
    MutexGuard guard(ProgressLock);
    ActionCaption = caption;
    ProgressChanged = true;
}

void PublishProgress(int32_t done, int32_t total) {
    MutexGuard guard(ProgressLock);
    ProgressDone = done;
    ProgressTotal = total;
    ProgressChanged = true;
}

void ResetProgress() {
    MutexGuard guard(ProgressLock);
    ActionCaption.Clear();
    ProgressDone = 0;
    ProgressTotal = 0;
    ProgressChanged = false;
}

}  // namespace tarvo
