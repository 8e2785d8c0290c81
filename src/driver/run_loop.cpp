// Run loop. (Being written.)
#include "driver/weeks_method.h"

void WeeksMethod::Run() {}
