// The fast gravity kernel built for AVX2; the build gives this file its instruction set.
#define KERNEL_PAIRS KernelPairsAvx2
#define KERNEL_FLOOR KernelFloorAvx2
#include "galaxy_kernel_body.h"
