// Program entry. (Being written.)
#include "driver/weeks_method.h"

int main() { return 0; }
