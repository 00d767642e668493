// The fast gravity kernel built for AVX-512; the build gives this file its instruction set.
#define KERNEL_PAIRS KernelPairsAvx512
#define KERNEL_FLOOR KernelFloorAvx512
#include "galaxy_kernel_body.h"
