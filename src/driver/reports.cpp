// Console reports. (Being written.)
#include "driver/weeks_method.h"

void WeeksMethod::wfnDisplayInputs() {}
void WeeksMethod::wfnDisplayResults() {}
