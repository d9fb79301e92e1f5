#pragma once
// Container packages: a package whose script holds "[InstallContainer]" carries complete
// installers of this system, which are extracted and run one after another, choosing 64-bit or
// 32-bit variants for the running Windows.
#include "base/Text.h"

#include <cstdint>
#include <functional>

namespace tarvo {

// Written by the container worker, read by the container window without a lock.
extern int32_t ContainerInstallerCount;
extern int32_t ContainerRunningIndex;

// The container window while more than one installer runs. The worker thread creates it and
// destroys it at the end; `handle` owns the installers' error messages.
struct ContainerWindowHooks {
    std::function<HWND()> create;
    std::function<void()> destroy;
};

// What a container run ended with: 0 when every installer that ran returned 0; otherwise the
// first non-zero exit code of an installer; 1602 when a "QuestionYesNo" message was answered No.
struct ContainerResult {
    bool handled = false;  // false: not a container, nothing was done
    DWORD exitCode = 0;
};

// True when the loaded package's script is a container.
bool IsContainerScript();

// Runs the container on a worker thread while this thread keeps its messages moving.
ContainerResult RunContainer(const ContainerWindowHooks& window);

// The selection rule, for tests: which entries run, and the arguments they get.
struct ContainerPlan {
    bool hasVariants = false;
    bool force32 = false;
    WString arguments;
    StringList entries;
};
ContainerPlan PlanContainer(const WString& commandLine, bool rightShiftDown);

}  // namespace tarvo
