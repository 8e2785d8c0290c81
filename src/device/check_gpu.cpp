// Device check. (Being written.)
#include "driver/weeks_method.h"

void WeeksMethod::wfnCheckGPU() {}
